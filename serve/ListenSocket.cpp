#include "serve/ListenSocket.h"

#include "util/AppError.h"
#include "util/PrivateFolder.h"

#include <QFile>
#include <QFileInfo>
#include <arpa/inet.h>
#include <cstring>
#include <memory>
#include <cerrno>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace {

constexpr int kBacklog = 128;

} // namespace

ListenSocket::ListenSocket(const ServeOptions &options)
{
    if (options.socketPath.isEmpty())
        listenOnTcp(options.host, options.port);
    else
        listenOnUnixSocket(options.socketPath);
}

ListenSocket::~ListenSocket()
{
    m_socketFile.remove();
}

void ListenSocket::listenOnUnixSocket(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    CheckPrivateFolder(QFileInfo(absolute).absolutePath());
    const QByteArray name = QFile::encodeName(absolute);
    const std::optional<sockaddr_un> unixAddress = UnixSocketAddress(name);
    if (!unixAddress)
        throw AppError(QStringLiteral("The socket path %1 is too long (at most %2 bytes).")
                           .arg(absolute)
                           .arg(sizeof(sockaddr_un::sun_path) - 1));
    const sockaddr_un &address = *unixAddress;
    struct stat existing {};
    if (::lstat(name.constData(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode))
            throw AppError(QStringLiteral("%1 exists and is not a socket; it was left as it is.").arg(absolute));
        if (const FileDescriptor probe(ConnectUnixSocket(name)); probe.get() >= 0 || errno == EAGAIN)
            throw AppError(QStringLiteral("Another service already listens on %1.").arg(absolute));
        ::unlink(name.constData()); // left by a service that has ended
    }
    m_fd.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    // The socket is made 0600 from the start: the umask applies to bind().
    const mode_t umask = ::umask(0177);
    const bool bound =
        m_fd.get() >= 0 && ::bind(m_fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    const int error = errno;
    ::umask(umask);
    if (!bound)
        throw AppError(QStringLiteral("The service cannot listen on %1: %2.").arg(absolute, SystemErrorText(error)));
    m_socketFile = SocketFile(name);
    if (::listen(m_fd.get(), kBacklog) != 0)
        throw AppError(QStringLiteral("The service cannot listen on %1: %2.").arg(absolute, SystemErrorText(errno)));
    m_address = QStringLiteral("unix:") + absolute;
}

void ListenSocket::listenOnTcp(const QString &host, int port)
{
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const QByteArray service = QByteArray::number(port);
    if (const int error = ::getaddrinfo(host.toLatin1().constData(), service.constData(), &hints, &found); error != 0)
        throw AppError(QStringLiteral("The service cannot listen on %1: %2.").arg(host, QString::fromLocal8Bit(gai_strerror(error))));
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(found, ::freeaddrinfo);
    m_fd.reset(::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol));
    const int on = 1;
    const QString shown = found->ai_family == AF_INET6 ? QStringLiteral("[%1]:%2").arg(host).arg(port)
                                                        : QStringLiteral("%1:%2").arg(host).arg(port);
    if (m_fd.get() < 0 || ::setsockopt(m_fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || (found->ai_family == AF_INET6 && ::setsockopt(m_fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0)
        || ::bind(m_fd.get(), found->ai_addr, found->ai_addrlen) != 0 || ::listen(m_fd.get(), kBacklog) != 0)
        throw AppError(QStringLiteral("The service cannot listen on %1: %2.").arg(shown, SystemErrorText(errno)));
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(m_fd.get(), reinterpret_cast<sockaddr *>(&bound), &length) == 0)
        port = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port
                                                 : reinterpret_cast<sockaddr_in *>(&bound)->sin_port);
    m_address = found->ai_family == AF_INET6 ? QStringLiteral("[%1]:%2").arg(host).arg(port)
                                             : QStringLiteral("%1:%2").arg(host).arg(port);
}
