#pragma once

// Pieces the benchmarks share: clocks and statistics, a window-less RunWindow over
// a list of paths, dialogs that only record, and the memory figures of a process.

#include "core/Dialogs.h"
#include "convert/ConversionRun.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <numeric>

namespace bench {

inline double millisecondsOf(const std::function<void()> &work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return clock.nsecsElapsed() / 1e6;
}

inline double sum(const QList<double> &values)
{
    return std::accumulate(values.begin(), values.end(), 0.0);
}

inline double mean(const QList<double> &values)
{
    return values.isEmpty() ? 0 : sum(values) / values.size();
}

inline double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

inline double ratio(double ours, double peer)
{
    return peer > 0 ? ours / peer : 0;
}

// The file list and destination controls of the main window, without a window:
// every row goes to one chosen folder. Calls back at the start of every file
// (1-based) and once more when the run has finished its loop.
class ListRunWindow : public RunWindow {
public:
    ListRunWindow(QStringList rows, QString folder) : m_rows(std::move(rows)), m_folder(std::move(folder)) {}

    std::function<void(int file)> onFileStart;
    std::function<void()> onLoopEnd;

    int rowCount() const override { return int(m_rows.size()); }
    std::optional<QString> rowText(int position) const override
    {
        if (position < 1 || position > m_rows.size())
            return std::nullopt;
        return m_rows[position - 1];
    }
    Destination destination() const override { return Destination::ChosenFolder; }
    QString folderText() const override { return m_folder; }
    void setProgressValue(double percent) override
    {
        // Step 112 sets i/N*100 before file i; the loop's end sets 0 (step 180).
        if (percent > 0 && onFileStart)
            onFileStart(++m_started);
    }
    void setProgressCaption(const QString &) override {}
    void setBusy(bool busy) override
    {
        if (!busy && onLoopEnd) // step 178, right after the last file
            onLoopEnd();
    }
    QString applicationTitle() const override { return QStringLiteral("Tarnwick"); }

private:
    QStringList m_rows;
    QString m_folder;
    int m_started = 0;
};

// Answers OK to everything and keeps what was shown.
class RecordingDialogs : public Dialogs {
public:
    QStringList errorReports; // "Application Error" boxes
    QStringList plainMessages;

    Answer message(const QString &text, const QString &title, Buttons, Icon) override
    {
        (title == QLatin1String("Application Error") ? errorReports : plainMessages).append(text);
        return Answer::Ok;
    }
    QStringList openFiles(const QString &, const QStringList &) override { return {}; }
    QString browseFolder(const QString &, const QString &) override { return {}; }
    std::optional<QString> inputText(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    void openUrl(const QString &) override {}
    void openFolder(const QString &) override {}
};

// Sets the office's memory bound for a restart (UnoOfficeOptions::restartAboveBytes,
// in MiB; 0: never) where the build has it; false when it has not and a restart
// was asked for.
template <typename Options>
bool setRestartAbove(Options &options, qint64 mebibytes)
{
    if constexpr (requires { options.restartAboveBytes; }) {
        options.restartAboveBytes = mebibytes * 1024 * 1024;
        return true;
    } else {
        return mebibytes == 0;
    }
}

// One field of /proc/<pid>/status in kB (VmHWM, VmRSS, ...); 0 when unknown.
inline long procStatusKb(qint64 pid, const char *field)
{
    QFile status(pid > 0 ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// The first three fields of /proc/loadavg: other work on the machine disturbs
// the figures, so every benchmark prints it at its start and end.
inline QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

} // namespace bench
