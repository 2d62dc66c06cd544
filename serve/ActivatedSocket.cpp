#include "serve/ActivatedSocket.h"

#include "util/AppError.h"

#include <QFile>
#include <arpa/inet.h>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kFirstPassedFd = 3;

QString addressOf(int fd)
{
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &length) != 0)
        return QStringLiteral("a socket given by systemd");
    char host[INET6_ADDRSTRLEN] = {};
    switch (bound.ss_family) {
    case AF_UNIX: {
        const auto *local = reinterpret_cast<const sockaddr_un *>(&bound);
        const size_t size = length > offsetof(sockaddr_un, sun_path) ? length - offsetof(sockaddr_un, sun_path) : 0;
        return QStringLiteral("unix:")
               + QFile::decodeName(QByteArray(local->sun_path, qsizetype(::strnlen(local->sun_path, size))));
    }
    case AF_INET: {
        const auto *inet = reinterpret_cast<const sockaddr_in *>(&bound);
        ::inet_ntop(AF_INET, &inet->sin_addr, host, sizeof host);
        return QStringLiteral("%1:%2").arg(QLatin1String(host)).arg(ntohs(inet->sin_port));
    }
    case AF_INET6: {
        const auto *inet = reinterpret_cast<const sockaddr_in6 *>(&bound);
        ::inet_ntop(AF_INET6, &inet->sin6_addr, host, sizeof host);
        return QStringLiteral("[%1]:%2").arg(QLatin1String(host)).arg(ntohs(inet->sin6_port));
    }
    default: return QStringLiteral("a socket given by systemd");
    }
}

} // namespace

std::optional<ActivatedSocket> TakeActivatedSocket()
{
    const QByteArray pid = qgetenv("LISTEN_PID");
    const QByteArray count = qgetenv("LISTEN_FDS");
    const QByteArray name = qgetenv("LISTEN_FDNAMES");
    ::unsetenv("LISTEN_PID");
    ::unsetenv("LISTEN_FDS");
    ::unsetenv("LISTEN_FDNAMES");
    bool pidOk = false;
    bool countOk = false;
    // Variables meant for another process (a parent's, passed on) are not ours.
    if (pid.toLongLong(&pidOk) != ::getpid() || !pidOk)
        return std::nullopt;
    const int fds = count.toInt(&countOk);
    if (!countOk || fds <= 0)
        return std::nullopt;
    if (fds != 1)
        throw AppError(QStringLiteral("The service was given %1 sockets; it listens on one.").arg(fds));
    int type = 0;
    int listening = 0;
    socklen_t size = sizeof type;
    const bool stream = ::getsockopt(kFirstPassedFd, SOL_SOCKET, SO_TYPE, &type, &size) == 0 && type == SOCK_STREAM;
    size = sizeof listening;
    if (!stream || ::getsockopt(kFirstPassedFd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || !listening)
        throw AppError(QStringLiteral("The service was given a descriptor that is no listening stream socket."));
    ::fcntl(kFirstPassedFd, F_SETFD, FD_CLOEXEC);
    return ActivatedSocket{kFirstPassedFd, addressOf(kFirstPassedFd), name};
}
