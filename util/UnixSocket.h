#pragma once

#include <QByteArray>
#include <optional>
#include <sys/types.h>
#include <sys/un.h>

// The address of the unix socket at `path`; none for a path longer than an address
// holds.
std::optional<sockaddr_un> UnixSocketAddress(const QByteArray &path);

// A stream socket connected to the unix socket at `path` (non-blocking and
// close-on-exec), which the caller closes; -1 with errno set when nothing accepts
// there (EAGAIN: a listener is there, but its queue of connections is full).
int ConnectUnixSocket(const QByteArray &path);

// A socket's file as it was when it was made, so that its maker removes that file
// and no other: a later service may have made a socket of its own at the path.
class SocketFile {
public:
    SocketFile() = default;
    // The file now at `path`; empty when there is none.
    explicit SocketFile(const QByteArray &path);

    bool isEmpty() const { return m_path.isEmpty(); }
    const QByteArray &path() const { return m_path; }
    // True while the file at the path is still this one.
    bool stillThere() const;
    // Removes the file at the path if it is still this one; then holds nothing.
    void remove();

private:
    QByteArray m_path;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};
