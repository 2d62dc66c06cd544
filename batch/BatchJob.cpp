#include "batch/BatchJob.h"

#include "batch/DocumentConverter.h"
#include "convert/office/DocumentOverLimit.h"
#include "convert/office/PasswordProtected.h"
#include "convert/office/UnoOfficeBridge.h"
#include "util/AppError.h"
#include "util/ProcessInfo.h"

#include <QElapsedTimer>
#include <csignal>

namespace {

constexpr int kTriesPerDocument = 2;
constexpr int kOfficeStartTries = 2;

} // namespace

// True when the office that was running at the start of a document is no longer
// the one that answers: it crashed, was killed or hung and was ended. Asked
// through the bridge, which starts a fresh office when the old one is gone (as the
// next document needs anyway); a killed process may take a moment to look dead
// from outside, but its connection is lost at once.
bool OfficeEndedSince(UnoOfficeBridge &office, qint64 officeAtStart)
{
    if (officeAtStart == 0)
        return true; // it never started
    try {
        office.createServiceManager();
    } catch (const AppError &) {
        return true;
    }
    return office.officeProcessId() != officeAtStart || !ProcessIsAlive(officeAtStart);
}

TriedDocument ConvertTryingAgain(UnoOfficeBridge &office, const QString &source, const QString &target,
                                 SharedTextFiles &textFiles, const std::function<bool()> &stopping,
                                 const std::function<void(int)> &tryStarts)
{
    using Outcome = TriedDocument::Outcome;
    TriedDocument tried;
    for (int attempt = 1; attempt <= kTriesPerDocument; ++attempt) {
        tried.office = 0;
        try {
            // Starts (or starts again) the office first, so that its process is
            // known before the document reaches it.
            office.createServiceManager();
            tried.office = office.officeProcessId();
            if (tryStarts)
                tryStarts(attempt);
            const QString readAs = ConvertDocument(office, source, target, textFiles);
            return {Outcome::Converted, {}, tried.office, readAs};
        } catch (const DocumentOverLimit &error) {
            return {Outcome::OverLimit, error.description(), tried.office}; // it would take as long again
        } catch (const PasswordProtected &error) {
            return {Outcome::PasswordProtected, error.description(), tried.office};
        } catch (const AppError &error) {
            tried.failure = error.description();
            if (stopping() || !OfficeEndedSince(office, tried.office)) {
                tried.outcome = Outcome::Failed; // the document's own fault: trying again gives the same
                return tried;
            }
        }
    }
    tried.outcome = Outcome::OfficeEndedTwice;
    return tried;
}

void KillOffice(const UnoOfficeBridge &office)
{
    // The process group takes any helper the office started. The bridge finds the
    // office gone on its next call and tidies up in shutdown().
    if (const auto group = static_cast<pid_t>(office.officeProcessId()); group > 0) {
        if (::kill(-group, SIGKILL) != 0)
            ::kill(group, SIGKILL);
    }
}

bool ProcessIsAlive(qint64 pid)
{
    const std::optional<ProcessStatus> status = ReadProcessStatus(pid);
    return status && status->state != 'Z' && status->state != 'X';
}

void BatchJob::stop()
{
    m_stopping = true;
    const std::lock_guard lock(m_officeMutex);
    if (m_office)
        KillOffice(*m_office);
}

void BatchJob::run()
{
    UnoOfficeBridge office(m_options);
    {
        const std::lock_guard lock(m_officeMutex);
        m_office = &office;
    }
    run(office);
    office.shutdown();
    const std::lock_guard lock(m_officeMutex);
    m_office = nullptr;
}

void BatchJob::run(UnoOfficeBridge &office)
{
    for (int attempt = 1; attempt <= kOfficeStartTries && !m_stopping; ++attempt) {
        try {
            office.createServiceManager();
            m_startFailure.clear();
            break;
        } catch (const RefusalError &error) {
            m_startFailure = error.description();
            m_startRefused = true;
            break;
        } catch (const AppError &error) {
            m_startFailure = error.description();
        }
    }
    if (!m_startFailure.isEmpty())
        return;
    while (const std::optional<BatchDocument> document = m_queue.next()) {
        m_report.started(document->source);
        QElapsedTimer clock;
        clock.start();
        const TriedDocument tried = ConvertTryingAgain(office, document->source, document->target, m_textFiles,
                                                       [this] { return m_stopping.load(); });
        QString failure = tried.reason();
        if (failure.isEmpty() && m_deliver) {
            try {
                m_deliver(*document);
            } catch (const AppError &error) {
                failure = error.description();
            }
        }
        const double seconds = clock.nsecsElapsed() / 1e9;
        if (failure.isEmpty())
            m_report.converted(*document, seconds, tried.readAs);
        else if (m_stopping)
            m_report.interrupted(*document);
        else
            m_report.failed(*document, failure, seconds);
    }
}
