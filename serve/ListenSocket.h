#pragma once

#include "serve/ServeOptions.h"
#include "util/SystemError.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <sys/un.h>

// The address of the unix socket at `path`; none for a path longer than an address
// holds.
std::optional<sockaddr_un> UnixSocketAddress(const QByteArray &path);

// The socket the service listens on, made before any office starts so that a bad
// address stops the service at once.
//
// HOST:PORT is a TCP socket. unix:PATH is a socket only this user can reach (mode
// 0600) in a folder this user owns that nobody else may write in; a socket left
// there by a service that has ended is replaced, one that answers is not.
class ListenSocket {
public:
    // Throws AppError saying why it cannot listen.
    explicit ListenSocket(const ServeOptions &options);
    ~ListenSocket(); // removes the unix socket's file

    // The listening descriptor, which the caller owns from then on.
    int takeFd() { return m_fd.release(); }
    // The socket's file stays when this ends: for a socket handed to another process.
    void keepSocketFile() { m_socketPath.clear(); }
    // Where it listens, as --listen takes it (with the port the system chose for 0).
    const QString &address() const { return m_address; }

private:
    void listenOnUnixSocket(const QString &path);
    void listenOnTcp(const QString &host, int port);

    FileDescriptor m_fd;
    QString m_address;
    QString m_socketPath;
};
