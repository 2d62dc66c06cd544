#include "batch/BatchJob.h"

#include "batch/DocumentConverter.h"
#include "convert/office/UnoOfficeBridge.h"
#include "util/AppError.h"
#include "util/ProcessInfo.h"

namespace {

constexpr int kTriesPerDocument = 2;
constexpr int kOfficeStartTries = 2;

// True when the office that was running at the start of a document is no longer
// the one that answers: it crashed, was killed or hung and was ended. Asked
// through the bridge, which starts a fresh office when the old one is gone (as the
// next document needs anyway); a killed process may take a moment to look dead
// from outside, but its connection is lost at once.
bool officeEndedSince(UnoOfficeBridge &office, qint64 officeAtStart)
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

} // namespace

bool ProcessIsAlive(qint64 pid)
{
    const std::optional<ProcessStatus> status = ReadProcessStatus(pid);
    return status && status->state != 'Z' && status->state != 'X';
}

void BatchJob::run()
{
    UnoOfficeBridge office(m_options);
    for (int attempt = 1; attempt <= kOfficeStartTries; ++attempt) {
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
        QString failure;
        for (int attempt = 1; attempt <= kTriesPerDocument; ++attempt) {
            qint64 officeAtStart = 0;
            try {
                // Starts (or starts again) the office first, so that its process is
                // known before the document reaches it.
                office.createServiceManager();
                officeAtStart = office.officeProcessId();
                ConvertDocument(office, document->source, document->target, m_textFiles);
                failure.clear();
                break;
            } catch (const AppError &error) {
                failure = error.description();
                if (!officeEndedSince(office, officeAtStart))
                    break; // the document's own fault: trying again gives the same
                if (attempt == kTriesPerDocument)
                    failure = QStringLiteral("the office ended twice while converting it; last: ") + failure;
            }
        }
        if (failure.isEmpty()) {
            m_report.converted(document->source, document->size);
            continue;
        }
        m_report.failed(document->source, failure, document->size);
    }
    office.shutdown();
}
