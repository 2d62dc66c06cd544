#pragma once

#include <QString>
#include <optional>
#include <sys/types.h>

// Where the user's own service lives: its socket and its lock in a folder only this
// user may write in, $XDG_RUNTIME_DIR/tarnwick (without XDG_RUNTIME_DIR, the
// program's cache folder), and its log in the cache folder.
QString UserServiceFolder();
QString UserServiceSocket();
QString UserServiceLog();

// The lock that makes the user's service one per user. The service that holds it
// has written its process id into the lock file, for --stop. The lock goes with the
// process, however it ends.
class UserServiceLock {
public:
    // Takes the lock (making the private folder as needed): at once, or, with
    // `wait`, once the service that holds it has ended. None when another service
    // holds it and `wait` is false. Throws AppError (RefusalError when the folder
    // or the lock file is not the user's own).
    static std::optional<UserServiceLock> take(bool wait);
    // The process id of the running service; none when no service holds the lock.
    // Throws AppError as take() does.
    static std::optional<pid_t> runningService();
    // Returns once no service holds the lock.
    static void waitForEnd();

    UserServiceLock(UserServiceLock &&other) noexcept;
    UserServiceLock &operator=(UserServiceLock &&other) noexcept;
    ~UserServiceLock();

private:
    explicit UserServiceLock(int fd) : m_fd(fd) {}
    int m_fd;
};
