#pragma once

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <cstdio>
#include <mutex>

// What the batch tells its user on stderr, from any of its jobs' threads: one line
// per document that fails or is skipped (path and reason), a progress line that is
// redrawn in place when stderr is a terminal, and a summary at the end. Quiet: the
// failure and skip lines only. Names and reasons are printed with PrintableName/Text, so
// none of them can act on the terminal.
class BatchReport {
public:
    BatchReport(std::FILE *out, bool terminal, bool quiet);

    // The whole work, in bytes and documents, once it is known.
    void begin(int documents, qint64 bytes);
    void started(const QString &source);
    void converted(const QString &source, qint64 bytes);
    void failed(const QString &path, const QString &reason, qint64 bytes = 0);
    // A path that failed before any work (missing, out of the walk's reach), as the
    // system spells it.
    void failedPath(QByteArrayView systemPath, const QString &reason);
    void skipped(const QString &path, const QString &reason);
    // A line that is not about one document (a folder that could not be walked).
    void note(const QString &line);
    // Redraws the progress line (the time moves on between documents).
    void tick();
    // The summary; the exit status of the run.
    int finish();

    int convertedCount() const;
    int failedCount() const;
    int skippedCount() const;

    // 75 -> "1:15", 3725 -> "1:02:05"
    static QString clockText(qint64 seconds);

private:
    void printFailure(QByteArrayView systemPath, const QString &reason);
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
    int m_failed = 0;
    int m_skipped = 0;
    QList<QString> m_current;
    bool m_progressShown = false;
    QString m_progressLine; // as last drawn: unchanged, it is not drawn again
};
