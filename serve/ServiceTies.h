#pragma once

#include "util/UnixSocket.h"

#include <QString>
#include <sys/types.h>

// What the user's service keeps to: its socket's file, through which calls reach
// it, and its program's file. A service whose socket was removed (a new service may
// be listening at the path by now) or whose program was replaced or removed (an
// upgrade, a removal of the package) is a service no call should find: it ends
// once it has answered what it has, and the next call starts the program installed
// by then.
class ServiceTies {
public:
    // `socket` may be empty: a socket systemd made is systemd's to keep.
    explicit ServiceTies(SocketFile socket);
    ~ServiceTies(); // removes the socket's file, if it is still the one

    // Empty while both are as they were; else the service log's name for what
    // changed ("socket_removed", "program_replaced"), with its path in `path`.
    QString cut(QString &path) const;

private:
    SocketFile m_socket;
    QByteArray m_program;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};
