#pragma once

#include "util/SystemError.h"

#include <QString>
#include <optional>
#include <sys/types.h>

// Where the user's own service lives: its socket and its locks in a folder only this
// user may write in, $XDG_RUNTIME_DIR/tarnwick when that runtime folder is this
// user's own (else the program's cache folder), and its log in the cache folder.
QString UserServiceFolder();
QString UserServiceSocket();
QString UserServiceLog();

// A lock in the user's service's folder; the lock goes with the process, however it
// ends. Its holder removes the file when it lets go, so that an ended service leaves
// nothing behind; whoever takes a lock checks that its file is still the one at the
// path, so that a removed file never lets two hold the same lock.
//
// serve.lock makes the service one per user: the service that holds it has written
// its process id into it, for --stop and for the calls that watch it. start.lock
// makes one of the calls that race the one that starts the service.
class UserServiceLock {
public:
    // serve.lock (making the private folder as needed): at once, or, with `wait`,
    // once the service that holds it has ended. None when another service holds it
    // and `wait` is false. Throws AppError (RefusalError when the folder or the
    // lock file is not the user's own).
    static std::optional<UserServiceLock> take(bool wait);
    // start.lock, waiting for it for at most `milliseconds`, or until `stop` (when
    // >= 0) is readable: none then. Throws as take() does.
    static std::optional<UserServiceLock> takeStartLock(int milliseconds, int stop);
    // The process id of the running service; none when no service holds serve.lock.
    // Makes nothing. Throws AppError as take() does.
    static std::optional<pid_t> runningService();

    UserServiceLock(UserServiceLock &&other) noexcept = default;
    UserServiceLock &operator=(UserServiceLock &&other) noexcept;
    ~UserServiceLock(); // removes the file, then lets go

private:
    UserServiceLock(FileDescriptor fd, QString path) : m_fd(std::move(fd)), m_path(std::move(path)) {}
    void release();

    FileDescriptor m_fd;
    QString m_path;
};
