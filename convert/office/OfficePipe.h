#pragma once

#include <QString>

// The named pipe the private office listens on: a socket file
// /tmp/OSL_PIPE_<uid>_<name>. Its name is unguessable and it must belong to this
// user, so that nobody else can listen in its place or connect to it.
namespace OfficePipe {

// tarnwick_<pid>_<random>
QString newName();
// The socket file of a pipe.
QString socketPath(const QString &name);
// True when the pipe's socket exists and belongs to this user; throws AppError
// when it belongs to someone else.
bool isOwnSocket(const QString &name);
// Leaves only this user able to connect, whatever the office's umask made it.
void restrictToOwner(const QString &name);
// Removes the socket file a killed office leaves behind.
void removeLeftover(const QString &name);
// Removes the leftovers of programs of this user that are no longer running.
void removeLeftoversOfEndedPrograms();

} // namespace OfficePipe
