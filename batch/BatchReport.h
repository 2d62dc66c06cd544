#pragma once

#include "batch/WorkList.h"

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <cstdio>
#include <mutex>

// "SIGINT", "SIGTERM", "SIGHUP", or "signal N".
QString SignalName(int signal);

// What the batch tells its user on stderr, from any of its jobs' threads: one line
// per document that fails or is skipped (path and reason), a progress line that is
// redrawn in place when stderr is a terminal, and a summary at the end. Quiet: the
// failure and skip lines only. Names and reasons are printed with PrintableName/Text, so
// none of them can act on the terminal. With a record (`--report`), every document
// that is done, whatever became of it, also gets its line there.
class BatchReport {
public:
    BatchReport(std::FILE *out, bool terminal, bool quiet);

    // Set before any document is reported; not owned.
    void setRecord(class JsonLinesReport *record) { m_record = record; }
    // The texts go to standard output: the record names "-" as every target.
    void setTargetsToStdout(bool toStdout) { m_targetsToStdout = toStdout; }

    // The whole work, in bytes and documents, once it is known.
    void begin(int documents, qint64 bytes);
    void started(const QString &source);
    // A document read as another type than a Writer document (`readAs`, see
    // ConvertDocument) is converted, but counted apart and named.
    void converted(const BatchDocument &document, double seconds, const QString &readAs = {});
    void failed(const BatchDocument &document, const QString &reason, double seconds);
    // A document of the work that the run was stopped under: neither converted nor
    // failed; it counts as not converted.
    void interrupted(const BatchDocument &document);
    // A path that failed before any work (missing, out of the walk's reach; a text
    // file that cannot be placed), as the system spells it, with its text file when
    // it has one.
    void failedPath(QByteArrayView systemPath, const QString &reason, const QString &target = {});
    void skipped(const SetAside &document);
    // A document whose text file is newer than it (`--update`); not part of the work.
    void upToDate(const BatchDocument &document);
    // A line that is not about one document (a folder that could not be walked).
    void note(const QString &line);
    // The folder walk was cut short by a signal: how many documents there were is
    // not known.
    void setWalkStopped() { m_walkStopped = true; }
    // Redraws the progress line (the time moves on between documents).
    void tick();
    // The summary; the exit status of the run: 128 + `stopSignal` when a signal
    // stopped it, else 1 at least when a document failed or was skipped or the
    // record could not be written whole (which is said).
    int finish(int stopSignal = 0);

    int convertedCount() const;
    int failedCount() const;
    int skippedCount() const;
    int upToDateCount() const;

    // 75 -> "1:15", 3725 -> "1:02:05"
    static QString clockText(qint64 seconds);

private:
    void printFailure(QByteArrayView systemPath, const QString &reason);
    void record(QByteArrayView source, const QString &target, const QString &status, const QString &reason,
                double seconds, qint64 bytes, const QString &readAs = {});
    void printLine(const QString &line);
    void drawProgress();
    void clearProgress();

    mutable std::mutex m_mutex;
    std::FILE *m_out;
    bool m_terminal;
    bool m_quiet;
    QElapsedTimer m_clock;
    int m_total = 0;
    qint64 m_totalBytes = 0;
    qint64 m_doneBytes = 0;
    int m_converted = 0;
    int m_readAsOther = 0; // converted, but no Writer document
    int m_failed = 0;
    int m_skipped = 0;
    int m_upToDate = 0;
    int m_finished = 0; // documents of the work converted or failed
    JsonLinesReport *m_record = nullptr;
    bool m_targetsToStdout = false;
    bool m_walkStopped = false;
    QList<QString> m_current;
    bool m_progressShown = false;
    QString m_progressLine; // as last drawn: unchanged, it is not drawn again
};
