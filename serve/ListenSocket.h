#pragma once

#include "serve/ServeOptions.h"
#include "util/SystemError.h"
#include "util/UnixSocket.h"

#include <QString>
#include <utility>

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
    ~ListenSocket(); // removes the unix socket's file, if it is still the one made here

    // The listening descriptor, which the caller owns from then on.
    int takeFd() { return m_fd.release(); }
    // The socket's file, which stays when this ends: for a caller that watches it,
    // or a socket handed to another process.
    SocketFile takeSocketFile() { return std::exchange(m_socketFile, SocketFile()); }
    // Where it listens, as --listen takes it (with the port the system chose for 0).
    const QString &address() const { return m_address; }

private:
    void listenOnUnixSocket(const QString &path);
    void listenOnTcp(const QString &host, int port);

    FileDescriptor m_fd;
    QString m_address;
    SocketFile m_socketFile;
};
