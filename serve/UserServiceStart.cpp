#include "serve/UserServiceStart.h"

#include "serve/ListenSocket.h"
#include "serve/UserServicePlace.h"
#include "util/AppError.h"
#include "util/PrivateFolder.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr qint64 kLogRotateBytes = 1024 * 1024;

int openServiceLog()
{
    const QString log = UserServiceLog();
    MakePrivateFolder(QFileInfo(log).absolutePath());
    if (QFileInfo(log).size() > kLogRotateBytes)
        ::rename(QFile::encodeName(log).constData(), QFile::encodeName(log + QStringLiteral(".1")).constData());
    return ::open(QFile::encodeName(log).constData(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
}

} // namespace

void StartUserService()
{
    MakePrivateFolder(UserServiceFolder());
    FileDescriptor log(openServiceLog());
    FileDescriptor nothing(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (log.get() < 0 || nothing.get() < 0)
        throw AppError(QStringLiteral("The log %1 could not be opened: %2.").arg(UserServiceLog(), SystemErrorText(errno)));
    ServeOptions where;
    where.socketPath = UserServiceSocket();
    ListenSocket listening(where);
    listening.takeSocketFile(); // the service's from here on
    const FileDescriptor socket(listening.takeFd());
    const int listened = socket.get();
    char listenPid[32] = {};
    char listenFds[] = "LISTEN_FDS=1";
    char listenName[64] = {};
    std::snprintf(listenName, sizeof listenName, "LISTEN_FDNAMES=%s", kSocketOfCall);
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
            || ::dup2(log.get(), STDERR_FILENO) < 0 || (listened != 3 && ::dup2(listened, 3) < 0)
            || ::fcntl(3, F_SETFD, 0) != 0)
            ::_exit(127);
        ::close_range(4, ~0U, 0);
        std::snprintf(listenPid, sizeof listenPid, "LISTEN_PID=%ld", long(::getpid()));
        ::putenv(listenPid);
        ::putenv(listenFds);
        ::putenv(listenName);
        if (::chdir("/") != 0)
            ::_exit(127);
        ::execv("/proc/self/exe", arguments);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}
