#pragma once

#include <QString>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <utility>

// What the system calls an error number, in the user's language ("No space left on
// device"), for messages. Safe from any thread (strerror is not).
inline QString SystemErrorText(int error)
{
    char buffer[256];
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}

// True for the errors that mean the disk (or the user's quota) has no room left.
inline bool IsDiskFull(int error)
{
    return error == ENOSPC || error == EDQUOT;
}

// A file descriptor that is closed on every way out.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    FileDescriptor(FileDescriptor &&other) noexcept : m_fd(other.release()) {}
    FileDescriptor &operator=(FileDescriptor &&other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ~FileDescriptor() { reset(); }

    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};
