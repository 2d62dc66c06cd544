#include "serve/ServiceJob.h"

#include "batch/BatchJob.h"
#include "batch/SharedTextFiles.h"
#include "convert/office/UnoOfficeBridge.h"
#include "serve/ConversionService.h"
#include "serve/ServiceLog.h"
#include "serve/ServiceMetrics.h"
#include "util/AppError.h"

void ServiceJob::run()
{
    UnoOfficeBridge office(m_options);
    {
        const std::lock_guard lock(m_mutex);
        m_office = &office;
    }
    for (;;) {
        // An office ended by the last document is started again before the next one
        // comes; a running one is asked only when a document comes.
        if ((m_state != State::Up || !m_nextStartCause.isEmpty()) && !startOffice(office)) {
            if (!m_service.waitBeforeStartingAgain())
                break;
            continue;
        }
        const std::shared_ptr<ConversionTicket> ticket = m_service.next();
        if (!ticket)
            break;
        {
            const std::lock_guard lock(m_mutex);
            m_current = ticket.get();
        }
        ticket->startConverting(this);
        // Its client may have gone between the queue and here.
        ConversionResult result = ticket->isCancelled() ? ConversionResult{} : convert(office, *ticket);
        {
            const std::lock_guard lock(m_mutex);
            m_current = nullptr;
        }
        m_service.done(*ticket, std::move(result));
    }
    office.shutdown();
    const std::lock_guard lock(m_mutex);
    m_office = nullptr;
}

void ServiceJob::cancel(const ConversionTicket &ticket)
{
    const std::lock_guard lock(m_mutex);
    if (m_current == &ticket && m_office)
        KillOffice(*m_office);
}

bool ServiceJob::startOffice(UnoOfficeBridge &office)
{
    try {
        office.createServiceManager();
        noteOfficeStart(office);
        m_state = State::Up;
        return true;
    } catch (const AppError &error) {
        const bool wasDown = m_state.exchange(State::Down) == State::Down;
        if (!wasDown)
            LogLine({{QStringLiteral("event"), QStringLiteral("office-not-started")},
                     {QStringLiteral("reason"), error.description()}});
        m_service.officeDown();
        return false;
    }
}

void ServiceJob::noteOfficeStart(UnoOfficeBridge &office)
{
    const qint64 running = office.officeProcessId();
    if (running == m_knownOffice || running == 0)
        return;
    // A new process that no failure asked for: the bridge replaced an office that
    // had grown past its memory bound.
    m_metrics.officeStarted(m_nextStartCause.isEmpty() ? QStringLiteral("memory") : m_nextStartCause);
    m_nextStartCause.clear();
    m_knownOffice = running;
}

ConversionResult ServiceJob::convert(UnoOfficeBridge &office, ConversionTicket &ticket)
{
    using Outcome = TriedDocument::Outcome;
    // A text file of its own for each request: no other request's rules apply.
    SharedTextFiles textFiles;
    const TriedDocument tried = ConvertTryingAgain(
        office, ticket.source, ticket.target, textFiles, [&] { return ticket.isCancelled(); },
        [&](int attempt) {
            if (attempt > 1)
                m_nextStartCause = QStringLiteral("ended");
            noteOfficeStart(office);
        });
    switch (tried.outcome) {
    case Outcome::Converted: return {ConversionOutcome::Converted, {}, 0, 0, tried.office, tried.readAs};
    case Outcome::OverLimit:
        m_nextStartCause = QStringLiteral("limit");
        return {ConversionOutcome::OverLimit, tried.failure, 0, 0, tried.office};
    case Outcome::PasswordProtected: return {ConversionOutcome::PasswordProtected, tried.failure, 0, 0, tried.office};
    case Outcome::Failed:
        if (ticket.isCancelled()) {
            m_nextStartCause = QStringLiteral("cancelled");
            return {ConversionOutcome::Cancelled, tried.failure, 0, 0, tried.office};
        }
        return {ConversionOutcome::NotConverted, tried.failure, 0, 0, tried.office};
    case Outcome::OfficeEndedTwice: break;
    }
    m_nextStartCause = QStringLiteral("ended");
    if (tried.office == 0)
        return {ConversionOutcome::NoOffice, tried.failure, 0, 0, 0};
    return {ConversionOutcome::OfficeFailed, tried.reason(), 0, 0, tried.office};
}
