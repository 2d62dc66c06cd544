#pragma once

// The peer of the conversion benchmarks: LibreOffice's own batch conversion,
// `soffice --headless --convert-to txt:Text --outdir OUT files...`. The moment each
// text file is finished is taken from inotify on the output folder, so the batch
// gets per-file times too: file k costs from the end of file k-1 (or the start of
// its call) to the end of its own text file.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Watches a folder for finished .txt files; calls back on every new one from its
// own thread.
class WrittenFiles {
public:
    explicit WrittenFiles(const QString &folder, std::function<void(int written)> onNew = {})
        : m_onNew(std::move(onNew))
    {
        m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_CLOSE_WRITE | IN_MOVED_TO);
        m_thread = std::thread([this] { watch(); });
    }
    ~WrittenFiles()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    // When the file of that name was last finished, if it was.
    std::optional<Clock::time_point> finished(const QString &name)
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_times.constFind(name);
        return found == m_times.constEnd() ? std::nullopt : std::optional(*found);
    }

private:
    void watch()
    {
        alignas(inotify_event) char buffer[64 * 1024];
        while (!m_stop) {
            pollfd wait{m_fd, POLLIN, 0};
            if (::poll(&wait, 1, 20) <= 0)
                continue;
            const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
            const Clock::time_point now = Clock::now();
            for (ssize_t at = 0; at < length;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                at += ssize_t(sizeof(inotify_event)) + event->len;
                const QString name = event->len ? QFile::decodeName(event->name) : QString();
                if (!name.endsWith(QLatin1String(".txt")))
                    continue;
                int count = 0;
                {
                    std::lock_guard lock(m_mutex);
                    const bool isNew = !m_times.contains(name);
                    m_times.insert(name, now);
                    count = isNew ? int(m_times.size()) : 0;
                }
                if (count && m_onNew)
                    m_onNew(count);
            }
        }
    }

    std::function<void(int)> m_onNew;
    int m_fd = -1;
    std::atomic<bool> m_stop = false;
    std::mutex m_mutex;
    QHash<QString, Clock::time_point> m_times;
    std::thread m_thread;
};

struct BatchRun {
    QList<double> perFileMs; // by document; -1 when its text file was not written
    double totalMs = 0;
    int written = 0;
    QList<int> exitCodes; // one per call; -1 for a crash
};

inline QString textNameOf(const QString &document)
{
    return QFileInfo(document).completeBaseName() + QStringLiteral(".txt");
}

// Converts the documents with `program` (the soffice launcher or soffice.bin) in
// calls of at most filesPerCall documents each: the launcher silently drops
// arguments past about 255. soffice.bin asks to be started again (exit code 81)
// after it made a new profile; that is done here as the launcher does it.
// onStarted gets the pid of each call's process, onWritten the running count of
// text files (from the watcher's thread).
inline BatchRun runOfficeBatch(const QString &program, const QString &profile, const QStringList &documents,
                               const QString &outDir, int filesPerCall,
                               const std::function<void(int written)> &onWritten = {},
                               const std::function<void(qint64 pid)> &onStarted = {})
{
    QDir().mkpath(outDir);
    BatchRun run;
    WrittenFiles watcher(outDir, onWritten);
    QList<Clock::time_point> callStart(documents.size());
    const Clock::time_point begin = Clock::now();
    for (qsizetype first = 0; first < documents.size(); first += filesPerCall) {
        const QStringList chunk = documents.mid(first, filesPerCall);
        QStringList arguments{QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
                              QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                              QStringLiteral("txt:Text"), QStringLiteral("--outdir"), outDir};
        arguments += chunk;
        const Clock::time_point started = Clock::now();
        for (qsizetype i = first; i < first + chunk.size(); ++i)
            callStart[i] = started;
        for (;;) {
            QProcess call;
            call.setStandardOutputFile(QProcess::nullDevice());
            call.setStandardErrorFile(QProcess::nullDevice());
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("SAL_ENABLE_FILE_LOCKING"), QStringLiteral("1"));
            call.setProcessEnvironment(environment);
            call.start(program, arguments);
            call.waitForStarted(-1);
            if (onStarted)
                onStarted(call.processId());
            call.waitForFinished(-1);
            const int code = call.exitStatus() == QProcess::NormalExit ? call.exitCode() : -1;
            if (code == 81 && program.endsWith(QLatin1String(".bin")))
                continue;
            run.exitCodes.append(code);
            break;
        }
    }
    run.totalMs = msBetween(begin, Clock::now());
    // Let the watcher see the last events.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    Clock::time_point previousEnd = begin;
    for (qsizetype i = 0; i < documents.size(); ++i) {
        if (i == 0 || callStart[i] != callStart[i - 1])
            previousEnd = callStart[i];
        const auto end = watcher.finished(textNameOf(documents[i]));
        if (!end) {
            run.perFileMs.append(-1);
            continue;
        }
        ++run.written;
        run.perFileMs.append(msBetween(previousEnd, *end));
        previousEnd = *end;
    }
    return run;
}

} // namespace bench
