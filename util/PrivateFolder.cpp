#include "util/PrivateFolder.h"

#include "util/AppError.h"
#include "util/SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kPrivateFolderMode = S_IRWXU;

// Throws RefusalError unless the folder described by `info` is private.
void refuseUnlessPrivate(const QString &path, const struct stat &info)
{
    if (S_ISLNK(info.st_mode))
        throw RefusalError(path, QStringLiteral("%1 is a link, not a folder of its own").arg(path),
                           QStringLiteral("Remove the link and try again."));
    if (!S_ISDIR(info.st_mode))
        throw RefusalError(path, QStringLiteral("%1 is not a folder").arg(path),
                           QStringLiteral("Remove it and try again."));
    if (info.st_uid != ::geteuid())
        throw RefusalError(path, QStringLiteral("%1 belongs to another user (user id %2)").arg(path).arg(info.st_uid),
                           QStringLiteral("Have it removed and try again."));
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        throw RefusalError(path, QStringLiteral("Others may write in %1").arg(path),
                           QStringLiteral("Make it private (chmod 700) and try again."));
}

void checkOpened(const QString &path, int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw AppError(QStringLiteral("%1 could not be read: %2").arg(path, SystemErrorText(errno)));
    refuseUnlessPrivate(path, info);
}

// Opens a folder of the program's without following a link at its last step.
int openFolder(int parent, const QByteArray &name)
{
    return ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

QList<QByteArray> entriesOf(int folder)
{
    QList<QByteArray> names;
    DIR *listing = ::fdopendir(::dup(folder));
    if (!listing)
        return names;
    while (const dirent *entry = ::readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names << QByteArray(entry->d_name);
    }
    ::closedir(listing);
    return names;
}

// Removes what is in `folder` by descriptor, so that a folder swapped for a link
// meanwhile is never entered. Returns the first path that could not be removed.
QString emptyAt(int folder, const QString &shown)
{
    QString failure;
    const auto failed = [&](const QByteArray &name) {
        if (failure.isEmpty())
            failure = QStringLiteral("%1/%2 (%3)").arg(shown, QFile::decodeName(name), SystemErrorText(errno));
    };
    for (const QByteArray &name : entriesOf(folder)) {
        struct stat info {};
        if (::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue; // gone meanwhile
        if (S_ISDIR(info.st_mode)) {
            const FileDescriptor child(openFolder(folder, name));
            if (child.get() < 0) {
                failed(name);
                continue;
            }
            // A folder the office made read-only is still this user's to empty.
            if (info.st_uid == ::geteuid())
                ::fchmod(child.get(), kPrivateFolderMode);
            const QString inner = emptyAt(child.get(), shown + QLatin1Char('/') + QFile::decodeName(name));
            if (!inner.isEmpty() && failure.isEmpty())
                failure = inner;
            if (::unlinkat(folder, name.constData(), AT_REMOVEDIR) != 0 && inner.isEmpty())
                failed(name);
        } else if (::unlinkat(folder, name.constData(), 0) != 0 && errno != ENOENT) {
            failed(name);
        }
    }
    return failure;
}

} // namespace

void CheckPrivateFolder(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        throw AppError(QStringLiteral("The folder %1 could not be read: %2").arg(path, SystemErrorText(errno)));
    refuseUnlessPrivate(path, info);
}

void MakePrivateFolder(const QString &path)
{
    // The missing folders, from the nearest existing one down.
    QStringList missing;
    for (QString folder = QFileInfo(path).absoluteFilePath(); !QFileInfo(folder).exists() &&
                                                              !QFileInfo(folder).isSymLink();
         folder = QFileInfo(folder).absolutePath()) {
        missing.prepend(folder);
        if (folder == QLatin1String("/"))
            break;
    }
    for (const QString &folder : missing) {
        // The mode is only narrowed by the umask, never widened.
        if (::mkdir(QFile::encodeName(folder).constData(), kPrivateFolderMode) != 0 && errno != EEXIST)
            throw AppError(QStringLiteral("The folder %1 could not be made: %2").arg(folder, SystemErrorText(errno)));
    }
    CheckPrivateFolder(path);
}

void EmptyPrivateFolder(const QString &path)
{
    const FileDescriptor folder(openFolder(AT_FDCWD, QFile::encodeName(path)));
    if (folder.get() < 0) {
        const int error = errno;
        if (error == ELOOP || error == ENOTDIR)
            CheckPrivateFolder(path); // says why
        throw AppError(QStringLiteral("The folder %1 could not be opened: %2").arg(path, SystemErrorText(error)));
    }
    checkOpened(path, folder.get());
    const QString failure = emptyAt(folder.get(), path);
    if (!failure.isEmpty())
        throw AppError(QStringLiteral("The folder %1 could not be emptied: %2 was left.").arg(path, failure));
}

void RemovePrivateFolder(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 && errno == ENOENT)
        return;
    EmptyPrivateFolder(path);
    if (::rmdir(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
        throw AppError(QStringLiteral("The folder %1 could not be removed: %2").arg(path, SystemErrorText(errno)));
}
