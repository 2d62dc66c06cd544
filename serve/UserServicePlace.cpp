#include "serve/UserServicePlace.h"

#include "core/ProgramCache.h"
#include "util/AppError.h"
#include "util/PrivateFolder.h"
#include "util/SystemError.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

QString lockFile()
{
    return QDir(UserServiceFolder()).filePath(QStringLiteral("serve.lock"));
}

// The lock file, opened without following a link, made 0600 when missing; it must
// be a plain file of this user's that nobody else may write. The caller closes it.
int openLockFile()
{
    MakePrivateFolder(UserServiceFolder());
    const QString path = lockFile();
    FileDescriptor fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0)
        throw AppError(QStringLiteral("The lock %1 of the user's service could not be opened: %2.")
                           .arg(path, SystemErrorText(errno)));
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        throw RefusalError(QStringLiteral("%1 is not a private file of this user's, so it was not used. Remove it "
                                          "and try again.")
                               .arg(path));
    return fd.release();
}

bool lockHeld(int fd)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        ::flock(fd, LOCK_UN);
        return false;
    }
    return true;
}

} // namespace

QString UserServiceFolder()
{
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime))
        return QDir(runtime).filePath(QStringLiteral("tarnwick"));
    return ProgramCacheFolder();
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
    FileDescriptor fd(openLockFile());
    while (::flock(fd.get(), LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
        if (errno == EWOULDBLOCK)
            return std::nullopt;
        if (errno != EINTR)
            throw AppError(QStringLiteral("The lock %1 of the user's service could not be taken: %2.")
                               .arg(lockFile(), SystemErrorText(errno)));
    }
    const QByteArray pid = QByteArray::number(::getpid()) + '\n';
    if (::ftruncate(fd.get(), 0) != 0 || ::pwrite(fd.get(), pid.constData(), size_t(pid.size()), 0) != pid.size())
        throw AppError(QStringLiteral("The lock %1 of the user's service could not be written: %2.")
                           .arg(lockFile(), SystemErrorText(errno)));
    return UserServiceLock(fd.release());
}

std::optional<pid_t> UserServiceLock::runningService()
{
    const FileDescriptor fd(openLockFile());
    if (!lockHeld(fd.get()))
        return std::nullopt;
    char text[32] = {};
    const ssize_t got = ::pread(fd.get(), text, sizeof text - 1, 0);
    bool ok = false;
    const pid_t pid = got > 0 ? pid_t(QByteArray(text, got).trimmed().toLong(&ok)) : 0;
    if (!ok || pid <= 0)
        return std::nullopt; // held by a service that has not written its id yet
    return pid;
}

void UserServiceLock::waitForEnd()
{
    const FileDescriptor fd(openLockFile());
    while (::flock(fd.get(), LOCK_SH) != 0 && errno == EINTR) {
    }
}

UserServiceLock::UserServiceLock(UserServiceLock &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

UserServiceLock &UserServiceLock::operator=(UserServiceLock &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

UserServiceLock::~UserServiceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}
