#pragma once

#include <QString>
#include <optional>

// A listening socket handed over by whoever started the service, by the
// convention of systemd's socket activation (what sd_listen_fds reads):
// LISTEN_PID is this process, LISTEN_FDS the number of descriptors from 3 on.
struct ActivatedSocket {
    int fd = -1;
    QString address; // as --listen names it: unix:PATH or HOST:PORT
    QByteArray name; // LISTEN_FDNAMES: what its giver calls it
};

// The socket given to this process, if any; the variables are removed, so that
// the offices it starts do not take them for theirs. Throws AppError when what
// was given is not one listening stream socket.
std::optional<ActivatedSocket> TakeActivatedSocket();
