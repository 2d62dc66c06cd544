#pragma once

#include "batch/BatchReport.h"
#include "batch/SharedTextFiles.h"
#include "batch/WorkQueue.h"
#include "convert/office/UnoOfficeOptions.h"

// One job of the batch: a private office of its own, driven from the thread that
// calls run() and from no other, converting documents from the queue until it is
// empty. A document during which the office ended (it crashed, was killed, or hung
// and was ended by the watchdog) is tried once more on a fresh office; when it
// ends that one too it is reported as failed and not tried again. A job whose
// office does not start, twice, takes no document at all and leaves the work to
// the others; one that refuses to start it (its folders are not private) is not
// tried again.
class BatchJob {
public:
    BatchJob(UnoOfficeOptions options, WorkQueue &queue, BatchReport &report, SharedTextFiles &textFiles)
        : m_options(std::move(options)), m_queue(queue), m_report(report), m_textFiles(textFiles) {}

    void run();
    // After run(): why the job's office could not be started; empty when it was.
    const QString &startFailure() const { return m_startFailure; }
    // After run(): true when that was a refusal (RefusalError).
    bool startRefused() const { return m_startRefused; }

private:
    UnoOfficeOptions m_options;
    WorkQueue &m_queue;
    BatchReport &m_report;
    SharedTextFiles &m_textFiles;
    QString m_startFailure;
    bool m_startRefused = false;
};

// True while the process exists and has not ended (a zombie has ended).
bool ProcessIsAlive(qint64 pid);
