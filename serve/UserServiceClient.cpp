#include "serve/UserServiceClient.h"

#include "batch/BatchOptions.h"
#include "batch/BatchReport.h"
#include "serve/ListenSocket.h"
#include "serve/UserServicePlace.h"
#include "util/AppError.h"
#include "util/PathHelpers.h"
#include "util/PrintableName.h"
#include "util/PrivateFolder.h"
#include "util/StandardStreams.h"
#include "util/StopSignals.h"
#include "util/SystemError.h"
#include "util/WriteAll.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// What the service takes at most (its --max-size); a larger document goes to the
// batch, which takes any.
constexpr qint64 kLargestDocument = 100LL * 1024 * 1024;
constexpr qint64 kLogRotateBytes = 1024 * 1024;
constexpr int kPathLimit = 4096;

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

enum class Reach { Connected, NoService, NotOurs };

// The connected socket, which the caller closes, when the reach is Connected.
struct Connection {
    Reach reach = Reach::NoService;
    int fd = -1;
};

// Connects to the user's socket when the folder, the socket and the process that
// answers are this user's; says why not otherwise.
Connection connectToService()
{
    const QString folder = UserServiceFolder();
    const QString socket = UserServiceSocket();
    const QByteArray path = QFile::encodeName(socket);
    const std::optional<sockaddr_un> address = UnixSocketAddress(path);
    if (!address)
        return {Reach::NotOurs};
    struct stat info {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0)
        return {};
    try {
        CheckPrivateFolder(folder);
    } catch (const AppError &error) {
        sayNotUsed(error.description().section(QLatin1String(", so it was not used"), 0, 0));
        return {Reach::NotOurs};
    }
    if (::lstat(path.constData(), &info) != 0)
        return {};
    if (!S_ISSOCK(info.st_mode) || info.st_uid != ::geteuid()) {
        sayNotUsed(QStringLiteral("%1 is not a socket of this user's").arg(socket));
        return {Reach::NotOurs};
    }
    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0 || ::connect(fd.get(), reinterpret_cast<const sockaddr *>(&*address), sizeof *address) != 0)
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

// A log that grows past its bound is kept once, as serve.log.1.
int openServiceLog()
{
    const QString log = UserServiceLog();
    if (QFileInfo(log).size() > kLogRotateBytes)
        ::rename(QFile::encodeName(log).constData(), QFile::encodeName(log + QStringLiteral(".1")).constData());
    return ::open(QFile::encodeName(log).constData(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
}

// Starts `tarnwick --serve --user` on the listening socket, in a session of its
// own (no terminal, not in the caller's process group, so that the caller's
// Ctrl-C or its pipe's end does not reach it), its output into the log. Given the
// socket as systemd hands one over, the service is reachable from here on: what is
// sent meanwhile waits in the socket's queue.
void startServiceOn(int listening)
{
    FileDescriptor log(openServiceLog());
    FileDescriptor nothing(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (log.get() < 0 || nothing.get() < 0)
        throw AppError(QStringLiteral("The log %1 could not be opened: %2.").arg(UserServiceLog(), SystemErrorText(errno)));
    char listenPid[32] = {};
    char listenFds[] = "LISTEN_FDS=1";
    char program[] = "tarnwick";
    char serve[] = "--serve";
    char user[] = "--user";
    char *arguments[] = {program, serve, user, nullptr};
    const pid_t child = ::fork();
    if (child < 0)
        throw AppError(QStringLiteral("The user's service could not be started: %1.").arg(SystemErrorText(errno)));
    if (child == 0) {
        ::setsid();
        if (::fork() != 0)
            ::_exit(0);
        // The service's own process from here: only calls that are safe after fork.
        if (::dup2(nothing.get(), STDIN_FILENO) < 0 || ::dup2(log.get(), STDOUT_FILENO) < 0
            || ::dup2(log.get(), STDERR_FILENO) < 0
            || (listening != 3 && ::dup2(listening, 3) < 0) || ::fcntl(3, F_SETFD, 0) != 0)
            ::_exit(127);
        ::close_range(4, ~0U, 0);
        std::snprintf(listenPid, sizeof listenPid, "LISTEN_PID=%ld", long(::getpid()));
        ::putenv(listenPid);
        ::putenv(listenFds);
        if (::chdir("/") != 0)
            ::_exit(127);
        ::execv("/proc/self/exe", arguments);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

// Connects to the user's service, starting it when none answers. Between calls
// that race, the start lock makes one of them the one that starts it; the others
// find it answering.
Connection connectStartingService()
{
    Connection connection = connectToService();
    if (connection.reach != Reach::NoService)
        return connection;
    try {
        MakePrivateFolder(UserServiceFolder());
        MakePrivateFolder(QFileInfo(UserServiceLog()).absolutePath());
        const QString lockPath = QDir(UserServiceFolder()).filePath(QStringLiteral("start.lock"));
        const FileDescriptor lock(::open(QFile::encodeName(lockPath).constData(),
                                         O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (lock.get() < 0)
            throw AppError(QStringLiteral("%1 could not be opened: %2.").arg(lockPath, SystemErrorText(errno)));
        while (::flock(lock.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
        connection = connectToService();
        if (connection.reach != Reach::NoService)
            return connection;
        ServeOptions where;
        where.socketPath = UserServiceSocket();
        ListenSocket listening(where);
        listening.keepSocketFile();
        const FileDescriptor fd(listening.takeFd());
        startServiceOn(fd.get());
    } catch (const RefusalError &error) {
        sayNotUsed(error.description().section(QLatin1String(", so it was not used"), 0, 0));
        return {Reach::NotOurs};
    } catch (const AppError &) {
        return {}; // the batch converts it, and says what it finds
    }
    return connectToService();
}

struct Answer {
    int status = 0; // 0: no whole answer came
    QByteArray body;
};

// The Content-Length of the headers; -1 without one.
qint64 contentLength(const QByteArray &headers)
{
    for (const QByteArray &line : headers.split('\n')) {
        if (line.toLower().startsWith("content-length:")) {
            bool ok = false;
            const qint64 length = line.mid(15).trimmed().toLongLong(&ok);
            return ok ? length : -1;
        }
    }
    return -1;
}

// Sends the document and reads the whole answer, unless a stop signal comes first.
// `source` is the document's absolute path: its name names the document for the
// office, and its folder is shown where a field shows the document's path, as the
// call's own office would show it.
Answer exchange(int fd, const QByteArray &document, const QString &source, StopSignals &stopSignals)
{
    const QFileInfo file(source);
    const QByteArray head = "POST /convert?name=" + QUrl::toPercentEncoding(QFile::encodeName(file.fileName()))
                            + "&folder=" + QUrl::toPercentEncoding(QFile::encodeName(file.absolutePath()))
                            + " HTTP/1.1\r\nHost: tarnwick\r\nConnection: close\r\n"
                              "Content-Type: application/octet-stream\r\nContent-Length: "
                            + QByteArray::number(document.size()) + "\r\n\r\n";
    // A service that ends meanwhile takes no request; the answer says how far it got.
    // SIGPIPE is ignored: a service that went away fails the write.
    if (WriteAll(fd, head.constData(), size_t(head.size())))
        WriteAll(fd, document.constData(), size_t(document.size()));
    QByteArray reply;
    char buffer[65536];
    qsizetype end = -1;      // of the headers
    qint64 length = -1;      // of the body, when the headers say it
    // The answer is whole at its length: the service's closing of the connection
    // is not waited for.
    while (end < 0 || length < 0 || reply.size() - end - 4 < length) {
        pollfd waits[2] = {{fd, POLLIN, 0}, {stopSignals.descriptor(), POLLIN, 0}};
        if (::poll(waits, waits[1].fd >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            return {};
        }
        if (stopSignals.caught() != 0)
            return {};
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        reply.append(buffer, got);
        if (end < 0 && (end = reply.indexOf("\r\n\r\n")) >= 0)
            length = contentLength(reply.left(end));
    }
    if (!reply.startsWith("HTTP/1.") || end < 0 || (length >= 0 && reply.size() - end - 4 != length))
        return {}; // cut short
    return {reply.mid(9, 3).toInt(), reply.mid(end + 4)};
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
        const Connection connection = connectStartingService();
        if (connection.reach != Reach::Connected)
            return std::nullopt;
        const FileDescriptor socket(connection.fd);
        const Answer answer = exchange(socket.get(), *document, source, stopSignals);
        if (const int signal = stopSignals.caught())
            return report.finish(signal);
        if (answer.status == 0 || (answer.status == 503 && answer.body.contains("\"stopping\"")))
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
