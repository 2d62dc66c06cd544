#include "serve/UserServicePlace.h"

#include "core/ProgramCache.h"
#include "util/AppError.h"
#include "util/PathHelpers.h"
#include "util/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Between tries for the start lock: short beside a service's start.
constexpr int kLockRetryMs = 20;

QString lockFile(const char *name)
{
    return QDir(UserServiceFolder()).filePath(QLatin1String(name));
}

// The lock file, opened without following a link (made 0600 when missing and
// `make`); it must be a plain file of this user's that nobody else may write. -1
// when it is missing and not to be made.
FileDescriptor openLockFile(const QString &path, bool make)
{
    if (make)
        MakePrivateFolder(UserServiceFolder());
    else
        CheckPrivateFolder(UserServiceFolder());
    FileDescriptor fd(::open(QFile::encodeName(path).constData(),
                             O_RDWR | O_NOFOLLOW | O_CLOEXEC | (make ? O_CREAT : 0), 0600));
    if (fd.get() < 0 && errno == ENOENT && !make)
        return fd;
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0)
        throw AppError(QStringLiteral("The lock %1 of the user's service could not be opened: %2.")
                           .arg(path, SystemErrorText(errno)));
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        throw RefusalError(path, QStringLiteral("%1 is not a private file of this user's").arg(path),
                           QStringLiteral("Remove it and try again."));
    return fd;
}

// True when the open file is still the one at `path`: its holder removes it as it
// lets go, and a lock taken on a removed file locks nothing.
bool stillAtPath(int fd, const QString &path)
{
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::stat(QFile::encodeName(path).constData(), &named) == 0
           && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

enum class Try { Taken, Held, Removed };

Try tryLock(int fd, const QString &path, bool wait)
{
    while (::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
        if (errno == EWOULDBLOCK)
            return Try::Held;
        if (errno != EINTR)
            throw AppError(QStringLiteral("The lock %1 of the user's service could not be taken: %2.")
                               .arg(path, SystemErrorText(errno)));
    }
    return stillAtPath(fd, path) ? Try::Taken : Try::Removed;
}

} // namespace

QString UserServiceFolder()
{
    const QString runtime = OwnRuntimeFolder();
    return runtime.isEmpty() ? ProgramCacheFolder() : QDir(runtime).filePath(QStringLiteral("tarnwick"));
}

QString UserServiceSocket()
{
    return QDir(UserServiceFolder()).filePath(QStringLiteral("serve.sock"));
}

QString UserServiceLog()
{
    return QDir(ProgramCacheFolder()).filePath(QStringLiteral("serve.log"));
}

std::optional<UserServiceLock> UserServiceLock::take(bool wait)
{
    const QString path = lockFile("serve.lock");
    for (;;) {
        FileDescriptor fd = openLockFile(path, true);
        const Try taken = tryLock(fd.get(), path, wait);
        if (taken == Try::Held)
            return std::nullopt;
        if (taken == Try::Removed)
            continue;
        const QByteArray pid = QByteArray::number(::getpid()) + '\n';
        if (::ftruncate(fd.get(), 0) != 0 || ::pwrite(fd.get(), pid.constData(), size_t(pid.size()), 0) != pid.size())
            throw AppError(QStringLiteral("The lock %1 of the user's service could not be written: %2.")
                               .arg(path, SystemErrorText(errno)));
        return UserServiceLock(std::move(fd), path);
    }
}

std::optional<UserServiceLock> UserServiceLock::takeStartLock(int milliseconds, int stop)
{
    using Clock = std::chrono::steady_clock;
    const QString path = lockFile("start.lock");
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        FileDescriptor fd = openLockFile(path, true);
        const Try taken = tryLock(fd.get(), path, false);
        if (taken == Try::Taken)
            return UserServiceLock(std::move(fd), path);
        if (taken == Try::Removed)
            continue;
        // flock() has no descriptor to wait on beside the stop's: it is tried again.
        pollfd stopped{stop, POLLIN, 0};
        if (Clock::now() >= deadline || ::poll(&stopped, stop >= 0 ? 1 : 0, kLockRetryMs) > 0)
            return std::nullopt;
    }
}

std::optional<pid_t> UserServiceLock::runningService()
{
    const QString path = lockFile("serve.lock");
    if (!QFileInfo::exists(UserServiceFolder()))
        return std::nullopt;
    const FileDescriptor fd = openLockFile(path, false);
    if (fd.get() < 0 || ::flock(fd.get(), LOCK_SH | LOCK_NB) == 0)
        return std::nullopt; // nobody holds it (a shared lock lets go with the descriptor)
    char text[32] = {};
    const ssize_t got = ::pread(fd.get(), text, sizeof text - 1, 0);
    bool ok = false;
    const pid_t pid = got > 0 ? pid_t(QByteArray(text, got).trimmed().toLong(&ok)) : 0;
    if (!ok || pid <= 0)
        return std::nullopt; // held by a service that has not written its id yet
    return pid;
}

void UserServiceLock::release()
{
    if (m_fd.get() >= 0 && stillAtPath(m_fd.get(), m_path))
        ::unlink(QFile::encodeName(m_path).constData());
    m_fd.reset();
}

UserServiceLock &UserServiceLock::operator=(UserServiceLock &&other) noexcept
{
    if (this != &other) {
        release();
        m_fd = std::move(other.m_fd);
        m_path = std::move(other.m_path);
    }
    return *this;
}

UserServiceLock::~UserServiceLock()
{
    release();
}
