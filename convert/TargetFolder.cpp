#include "convert/TargetFolder.h"

#include "util/AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

QString userName(uid_t uid)
{
    std::vector<char> buffer(4096);
    passwd entry{};
    passwd *found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

// True for a file of this user's, or of root's (who may change anything anyway).
bool ownOrRoots(const struct stat &info)
{
    return info.st_uid == ::geteuid() || info.st_uid == 0;
}

// Throws unless a text file of `document` may go into the opened folder `fd` (see
// the header).
void requireSafe(int fd, const QString &path, const TextOf &document)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw AppError(
            QStringLiteral("The folder %1 of the text file cannot be read: %2.").arg(path, SystemErrorText(errno)));
    const bool ownerAlone = (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (info.st_mode & S_ISVTX);
    const bool documentsFolder = info.st_dev == document.folderDevice && info.st_ino == document.folderInode;
    if (info.st_uid == ::geteuid() || (info.st_uid == 0 && ownerAlone)
        || (info.st_uid == document.owner && (documentsFolder || ownerAlone)))
        return;
    const QString owner = userName(info.st_uid);
    const QString who = info.st_uid == document.owner || info.st_uid == 0
                            ? QStringLiteral("may be changed by others than its owner (%1)").arg(owner)
                            : QStringLiteral("belongs to another user (%1) than the document's owner").arg(owner);
    // The way out: the folder's owner converts, or the text goes elsewhere.
    const QString wayOut = ::geteuid() == 0 && info.st_uid != 0
                               ? QStringLiteral("convert as its owner (runuser -u %1 -- tarnwick --convert ...) or "
                                                "into a folder of your own (--out)")
                                     .arg(owner)
                               : QStringLiteral("convert into a folder of your own (--out)");
    throw AppError(QStringLiteral("The folder %1 of the text file %2, who could replace, remove or read what is "
                                  "written there; nothing was written into it. To go on, %3.")
                       .arg(path, who, wayOut));
}

// Why `name` in the folder `at` could not be opened as a folder (open's `error`).
[[noreturn]] void throwNotOpened(int at, const QByteArray &name, const QString &path, int error)
{
    struct stat info {};
    if (::fstatat(at, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(info.st_mode))
            throw AppError(QStringLiteral("The folder %1 of the text file is a symbolic link; nothing was written "
                                          "through it.")
                               .arg(path));
        if (!S_ISDIR(info.st_mode))
            throw AppError(QStringLiteral("%1 is not a folder, so no text file can go there.").arg(path));
    }
    if (error == ENOENT)
        throw AppError(QStringLiteral("The folder %1 of the text file does not exist.").arg(path));
    throw AppError(
        QStringLiteral("The folder %1 of the text file cannot be opened: %2.").arg(path, SystemErrorText(error)));
}

// Opens a folder the user named. A last link of the user's own (or root's) is
// followed, as far as the link says; one another user may have put there is not.
FileDescriptor openNamed(const QString &path)
{
    const QByteArray bytes = QFile::encodeName(path);
    FileDescriptor folder(::open(bytes.constData(), kFolderFlags));
    if (folder.get() >= 0)
        return folder;
    const int error = errno;
    const FileDescriptor link(::open(bytes.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (link.get() < 0 || ::fstat(link.get(), &info) != 0 || !S_ISLNK(info.st_mode) || !ownOrRoots(info))
        throwNotOpened(AT_FDCWD, bytes, path, error);
    // The link read is the one looked at; its target is taken from its own folder.
    char target[PATH_MAX];
    const ssize_t length = ::readlinkat(link.get(), "", target, sizeof target - 1);
    if (length <= 0)
        throwNotOpened(AT_FDCWD, bytes, path, error);
    target[length] = '\0';
    const FileDescriptor parent(
        ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    folder.reset(::openat(parent.get(), target, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        throw AppError(
            QStringLiteral("The folder %1 of the text file cannot be opened: %2.").arg(path, SystemErrorText(errno)));
    return folder;
}

} // namespace

TextOf TextOf::document(const QString &path)
{
    TextOf document;
    struct stat file {};
    struct stat folder {};
    if (::stat(QFile::encodeName(path).constData(), &file) == 0)
        document.owner = file.st_uid;
    if (::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &folder) == 0) {
        document.folderDevice = folder.st_dev;
        document.folderInode = folder.st_ino;
    }
    return document;
}

uid_t TargetFolder::owner() const
{
    struct stat info {};
    return ::fstat(descriptor(), &info) == 0 ? info.st_uid : uid_t(-1);
}

TargetFolder TargetFolder::open(const QString &folder, const QString &tree, Missing missing, const TextOf &document)
{
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const QString top = tree.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(tree).absoluteFilePath());
    if (top.isEmpty() || !path.startsWith(top + QLatin1Char('/'))) {
        TargetFolder named(openNamed(path), path);
        requireSafe(named.descriptor(), path, document);
        return named;
    }
    TargetFolder at(openNamed(top), top);
    requireSafe(at.descriptor(), top, document);
    for (const QString &name : path.mid(top.size() + 1).split(QLatin1Char('/')))
        at = at.below(name, missing, document);
    return at;
}

TargetFolder TargetFolder::below(const QString &name, Missing missing, const TextOf &document) const
{
    const QString path = m_path + QLatin1Char('/') + name;
    const QByteArray bytes = QFile::encodeName(name);
    if (missing == Missing::Make && ::mkdirat(descriptor(), bytes.constData(), 0777) != 0 && errno != EEXIST)
        throw AppError(
            QStringLiteral("The folder %1 of the text file could not be made: %2.").arg(path, SystemErrorText(errno)));
    FileDescriptor fd(::openat(descriptor(), bytes.constData(), kFolderFlags));
    if (fd.get() < 0)
        throwNotOpened(descriptor(), bytes, path, errno);
    requireSafe(fd.get(), path, document);
    return TargetFolder(std::move(fd), path);
}

QString TargetFolder::boundPath() const
{
    return QStringLiteral("/proc/self/fd/%1").arg(descriptor());
}

void TargetFolder::requireStillNamed() const
{
    struct stat opened {};
    struct stat named {};
    if (::fstat(descriptor(), &opened) != 0 || ::stat(QFile::encodeName(m_path).constData(), &named) != 0
        || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)
        throw AppError(QStringLiteral("The folder %1 of the text file was moved or replaced during the save; "
                                      "nothing was written into it.")
                           .arg(m_path));
}
