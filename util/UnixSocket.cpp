#include "util/UnixSocket.h"

#include "util/SystemError.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<sockaddr_un> UnixSocketAddress(const QByteArray &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path)
        return std::nullopt;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return address;
}

int ConnectUnixSocket(const QByteArray &path)
{
    const std::optional<sockaddr_un> address = UnixSocketAddress(path);
    if (!address) {
        errno = ENAMETOOLONG;
        return -1;
    }
    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.get() < 0 || ::connect(fd.get(), reinterpret_cast<const sockaddr *>(&*address), sizeof *address) != 0)
        return -1;
    return fd.release();
}

SocketFile::SocketFile(const QByteArray &path)
{
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISSOCK(info.st_mode))
        return;
    m_path = path;
    m_device = info.st_dev;
    m_inode = info.st_ino;
}

bool SocketFile::stillThere() const
{
    struct stat info {};
    return !m_path.isEmpty() && ::lstat(m_path.constData(), &info) == 0 && info.st_dev == m_device
           && info.st_ino == m_inode;
}

void SocketFile::remove()
{
    // A successor binds its socket only where this one is gone or answers nothing,
    // so the moment between the check and the unlink is one this socket is closed in.
    if (stillThere())
        ::unlink(m_path.constData());
    m_path.clear();
}
