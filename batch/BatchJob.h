#pragma once

#include "batch/BatchReport.h"
#include "batch/SharedTextFiles.h"
#include "batch/WorkQueue.h"
#include "convert/office/UnoOfficeOptions.h"

#include <atomic>
#include <functional>
#include <mutex>

class UnoOfficeBridge;

// One job of the batch: a private office of its own, driven from the thread that
// calls run() and from no other, converting documents from the queue until it is
// empty. A document during which the office ended (it crashed, was killed, or hung
// and was ended by the watchdog) is tried once more on a fresh office; when it
// ends that one too it is reported as failed and not tried again. One that kept
// its office at work past the document limit is reported at once. A job whose
// office does not start, twice, takes no document at all and leaves the work to
// the others; one that refuses to start it (its folders are not private) is not
// tried again.
//
// stop(), from any thread, ends the job soon: it takes no further document, its
// office is killed at once, which makes the call under way fail (the document's
// partial text file is removed as the conversion unwinds), and the document at
// hand is neither tried again nor counted as failed.
class BatchJob {
public:
    BatchJob(UnoOfficeOptions options, WorkQueue &queue, BatchReport &report, SharedTextFiles &textFiles)
        : m_options(std::move(options)), m_queue(queue), m_report(report), m_textFiles(textFiles) {}

    // Called with each document once its text file is written, before it counts as
    // converted (--stdout copies the text out); an AppError it throws makes the
    // document fail with its reason. Set before run().
    void setDelivery(std::function<void(const BatchDocument &)> deliver) { m_deliver = std::move(deliver); }

    void run();
    void stop();
    // After run(): why the job's office could not be started; empty when it was.
    const QString &startFailure() const { return m_startFailure; }
    // After run(): true when that was a refusal (RefusalError).
    bool startRefused() const { return m_startRefused; }

private:
    void run(UnoOfficeBridge &office);

    UnoOfficeOptions m_options;
    WorkQueue &m_queue;
    BatchReport &m_report;
    SharedTextFiles &m_textFiles;
    QString m_startFailure;
    bool m_startRefused = false;
    std::function<void(const BatchDocument &)> m_deliver;
    std::atomic<bool> m_stopping{false};
    std::mutex m_officeMutex;
    UnoOfficeBridge *m_office = nullptr; // while run() has one
};

// How one document fared on a job's office (ConvertTryingAgain).
struct TriedDocument {
    enum class Outcome {
        Converted,
        Failed,            // its own fault, or the job is stopping: not tried again
        OverLimit,         // it kept the office at work past the document limit
        PasswordProtected, // the office wants a password for it
        OfficeEndedTwice   // its office ended under it on both tries
    };
    Outcome outcome = Outcome::Converted;
    QString failure; // why the last try failed
    qint64 office = 0; // the office of the last try; 0 when none could be started
    QString readAs = {}; // converted, but read as another type than a Writer document (ConvertDocument)

    // Why it was not converted, as it is reported: after two ended offices, that too.
    QString reason() const
    {
        return outcome == Outcome::OfficeEndedTwice
                   ? QStringLiteral("the office ended twice while converting it; last: ") + failure
                   : failure;
    }
};

// Converts one document on a job's office. A try during which the office ended (it
// crashed, was killed, or hung and was ended by the watchdog) is made once more on
// a fresh office; a document that failed on its own, or kept its office at work
// past the limit, is not tried again, and neither is any once `stopping` says so.
// `tryStarts` is told of each try (1, 2) once its office runs.
TriedDocument ConvertTryingAgain(UnoOfficeBridge &office, const QString &source, const QString &target,
                                 SharedTextFiles &textFiles, const std::function<bool()> &stopping,
                                 const std::function<void(int)> &tryStarts = {});

// True when the office that was running at the start of a document (its process
// id then, 0 when none had started) is no longer the one that answers: it crashed,
// was killed or hung and was ended. Starts a fresh office when the old one is gone.
bool OfficeEndedSince(UnoOfficeBridge &office, qint64 officeAtStart);

// Kills the office's process group at once; the call under way fails.
void KillOffice(const UnoOfficeBridge &office);

// True while the process exists and has not ended (a zombie has ended).
bool ProcessIsAlive(qint64 pid);
