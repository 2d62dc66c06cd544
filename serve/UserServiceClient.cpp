#include "serve/UserServiceClient.h"

#include "batch/BatchOptions.h"
#include "batch/BatchReport.h"
#include "core/ProgramCache.h"
#include "serve/ServiceCall.h"
#include "serve/UserServicePlace.h"
#include "serve/UserServiceStart.h"
#include "util/AppError.h"
#include "util/PathHelpers.h"
#include "util/PrintableName.h"
#include "util/PrivateFolder.h"
#include "util/ProcessHandle.h"
#include "util/StandardStreams.h"
#include "util/StopSignals.h"
#include "util/SystemError.h"
#include "util/UnixSocket.h"
#include "util/WriteAll.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What the service takes at most (its --max-size); a larger document goes to the
// batch, which takes any.
constexpr qint64 kLargestDocument = 100LL * 1024 * 1024;
constexpr int kPathLimit = 4096;
// For the call that starts the service: for its start lock, held by a call that is
// starting one, and for the new service's first words.
constexpr int kStartLockMs = 30000;
constexpr int kStartingPlaceMs = 30000;

// The one document of a plain `--convert --stdout [--quiet] [--] DOCUMENT`, as the
// batch's own table parses it: any other option (--no-service among them), a
// second path, standard input or a command line the batch refuses is the batch's.
std::optional<QByteArray> plainCallDocument(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 2; i < argc; ++i)
        arguments << QString::fromUtf8(argv[i]);
    const auto parsed = ParseBatchOptions(arguments);
    const auto *options = std::get_if<BatchOptions>(&parsed);
    if (!options || !options->toStdout || options->paths.size() != 1)
        return std::nullopt;
    for (const QString &option : options->given) {
        if (option != QLatin1String("--stdout") && option != QLatin1String("--quiet"))
            return std::nullopt;
    }
    const QByteArray document = options->paths.first().toUtf8();
    // A name that is not UTF-8 came back otherwise from its text.
    const bool given = std::any_of(argv + 2, argv + argc, [&](const char *argument) { return document == argument; });
    if (!given || document.isEmpty() || document == "-" || document.size() >= kPathLimit)
        return std::nullopt;
    return document;
}

// Said once, when the socket at hand may not be used.
void sayNotUsed(const QString &why)
{
    PrintProgramError(QStringLiteral("%1; nothing was sent to the service there, and the document is converted with "
                                     "an office of this call's own.")
                          .arg(why));
}

// A refusal of the service's folder or files. When the refused folder is the
// program's cache folder, the call's own office cannot use it either: the batch
// says so, and nothing is said here that would not come true.
void sayRefused(const RefusalError &refusal)
{
    const QString cache = ProgramCacheFolder();
    const QString refused = refusal.path();
    if (refused.isEmpty() || refused == cache || refused.startsWith(cache + QLatin1Char('/')))
        return;
    sayNotUsed(refusal.fault());
}

enum class Reach { Connected, NoService, NotOurs };

// The connected socket (non-blocking), which the caller closes, when the reach is
// Connected.
struct Connection {
    Reach reach = Reach::NoService;
    int fd = -1;
    bool startedHere = false;
};

// Connects to the user's socket when the folder, the socket and the process that
// answers are this user's; says why not otherwise.
Connection connectToService()
{
    const QString folder = UserServiceFolder();
    const QString socket = UserServiceSocket();
    const QByteArray path = QFile::encodeName(socket);
    if (!UnixSocketAddress(path))
        return {Reach::NotOurs};
    struct stat info {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0)
        return {};
    try {
        CheckPrivateFolder(folder);
    } catch (const RefusalError &refusal) {
        sayRefused(refusal);
        return {Reach::NotOurs};
    }
    if (::lstat(path.constData(), &info) != 0)
        return {};
    if (!S_ISSOCK(info.st_mode) || info.st_uid != ::geteuid()) {
        sayNotUsed(QStringLiteral("%1 is not a socket of this user's").arg(socket));
        return {Reach::NotOurs};
    }
    // Non-blocking: a service that takes no connections (its queue full) fails the
    // connect at once instead of holding it.
    FileDescriptor fd(ConnectUnixSocket(path));
    if (fd.get() < 0)
        return {};
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::geteuid()) {
        sayNotUsed(QStringLiteral("the process that answers on %1 is not this user's (user id %2)")
                       .arg(socket)
                       .arg(peer.uid));
        return {Reach::NotOurs};
    }
    return {Reach::Connected, fd.release()};
}

// Connects to the user's service, starting it when none answers. Between calls
// that race, the start lock makes one of them the one that starts it; the others
// find it answering. None (NoService) when a stop signal comes meanwhile.
Connection connectStartingService(StopSignals &stopSignals)
{
    Connection connection = connectToService();
    if (connection.reach != Reach::NoService)
        return connection;
    try {
        const std::optional<UserServiceLock> lock =
            UserServiceLock::takeStartLock(kStartLockMs, stopSignals.descriptor());
        if (!lock)
            return {}; // a stop, or a start that takes too long: the batch does the rest
        connection = connectToService();
        if (connection.reach != Reach::NoService)
            return connection;
        StartUserService();
    } catch (const RefusalError &refusal) {
        sayRefused(refusal);
        return {Reach::NotOurs};
    } catch (const AppError &) {
        return {}; // the batch converts it, and says what it finds
    }
    connection = connectToService();
    connection.startedHere = true;
    return connection;
}

// What the user's service is doing, as its lock and its process show it. A service
// that ends gives its lock to the next (one started on a new socket waits for it),
// and one that is starting may not hold it yet: until the lock names a process,
// the service counts as working, within the call's bounds. One that ends with the
// call's connection closes it, which the call sees.
class ServiceProcess {
public:
    Peer look()
    {
        if (m_process && m_process->ended())
            m_process.reset();
        if (!m_process) {
            try {
                if (const std::optional<pid_t> pid = UserServiceLock::runningService())
                    m_process.emplace(*pid);
            } catch (const AppError &) {
                return Peer::Gone;
            }
            if (!m_process)
                return Peer::Working;
        }
        return m_process->stopped() ? Peer::Stopped : Peer::Working;
    }

private:
    std::optional<ProcessHandle> m_process;
};

// The request's line and headers. `source` is the document's absolute path: its
// name names the document for the office, and its folder is shown where a field
// shows the document's path, as the call's own office would show it.
QByteArray requestHead(const QString &source)
{
    const QFileInfo file(source);
    return "POST /convert?name=" + QUrl::toPercentEncoding(QFile::encodeName(file.fileName()))
           + "&folder=" + QUrl::toPercentEncoding(QFile::encodeName(file.absolutePath()))
           + " HTTP/1.1\r\nHost: tarnwick\r\nConnection: close\r\nContent-Type: application/octet-stream";
}

// The document, read whole; none when it is not a plain file the service takes.
std::optional<QByteArray> readDocument(const QByteArray &path)
{
    const FileDescriptor fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kLargestDocument)
        return std::nullopt;
    QByteArray bytes(qsizetype(info.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd.get(), bytes.data() + done, size_t(bytes.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return std::nullopt; // changed under us: the batch reads it as it is then
        done += got;
    }
    return bytes;
}

} // namespace

std::optional<int> ConvertThroughUserService(int argc, char **argv)
{
    const std::optional<QByteArray> given = plainCallDocument(argc, argv);
    if (!given || StandardStreamWasClosed(STDOUT_FILENO))
        return std::nullopt;
    const std::optional<QByteArray> document = readDocument(*given);
    if (!document)
        return std::nullopt;
    StopSignals stopSignals;
    std::signal(SIGPIPE, SIG_IGN);
    const QString source = QFileInfo(QString::fromUtf8(*given)).absoluteFilePath();
    BatchReport report(stderr, false, true);
    report.begin(1, document->size());
    // A service that ends (idle, or stopped) as the call reaches it answers
    // nothing, or that it is stopping; the next start serves the call.
    for (int attempt = 1; attempt <= 2; ++attempt) {
        const Connection connection = connectStartingService(stopSignals);
        if (const int signal = stopSignals.caught())
            return report.finish(signal);
        if (connection.reach != Reach::Connected)
            return std::nullopt;
        const FileDescriptor socket(connection.fd);
        ServiceProcess service;
        ServiceCallLimits limits;
        // A service that is starting has its program to load before it answers.
        if (connection.startedHere)
            limits.placeMs = kStartingPlaceMs;
        const ServiceAnswer answer = CallService(
            socket.get(), requestHead(source), *document, [&service] { return service.look(); },
            stopSignals.descriptor(), [&stopSignals] { return stopSignals.caught(); }, limits);
        if (answer.end == ServiceAnswer::End::Stopped)
            return report.finish(answer.signal);
        if (answer.end == ServiceAnswer::End::NotAnswering)
            return std::nullopt; // stopped, hung, or busy with another document
        if (answer.end == ServiceAnswer::End::Broken
            || (answer.status == 503 && answer.body.contains("\"stopping\"")))
            continue;
        if (answer.status != 200)
            break;
        const BatchDocument done{source, QString(), document->size()};
        if (!WriteAllUnlessStopped(STDOUT_FILENO, answer.body.constData(), size_t(answer.body.size()),
                                   stopSignals.descriptor())) {
            if (const int signal = stopSignals.caught())
                return report.finish(signal);
            report.failed(done, QStringLiteral("the text could not be written to standard output: %1.")
                                    .arg(SystemErrorText(errno)), 0);
            return report.finish();
        }
        report.converted(done, 0);
        return report.finish();
    }
    // Not converted by the service: the call's own office converts it as it always
    // has, and its failure, when it fails again, is said as it always was.
    return std::nullopt;
}
