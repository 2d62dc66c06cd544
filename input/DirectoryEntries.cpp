#include "input/DirectoryEntries.h"

#include "util/SystemError.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

DirectoryEntry::Kind kindOfMode(mode_t mode)
{
    if (S_ISDIR(mode))
        return DirectoryEntry::Kind::Folder;
    if (S_ISLNK(mode))
        return DirectoryEntry::Kind::Link;
    if (S_ISREG(mode))
        return DirectoryEntry::Kind::File;
    return DirectoryEntry::Kind::Other;
}

// Closes the directory on every way out, exceptions included.
struct DirCloser {
    DIR *dir;
    ~DirCloser() { closedir(dir); }
};

} // namespace

FolderReadError FolderReadError::fromErrno(int error)
{
    const QString text = SystemErrorText(error);
    switch (error) {
    case EACCES:
    case EPERM:
        return FolderReadError(PermissionDenied, QStringLiteral("Permission denied"));
    case ENOENT:
    case ENOTDIR:
        return FolderReadError(PathNotFound, QStringLiteral("Path not found"));
    default:
        return FolderReadError(Other, text);
    }
}

std::vector<DirectoryEntry> ReadDirectoryEntries(const QByteArray &folder, bool foldersOnly)
{
    DIR *dir = opendir(folder.constData());
    if (!dir)
        throw FolderReadError::fromErrno(errno);
    DirCloser closer{dir};

    std::vector<DirectoryEntry> entries;
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir);
        if (!entry) {
            if (errno != 0)
                throw FolderReadError::fromErrno(errno);
            break;
        }
        const char *raw = entry->d_name;
        if (raw[0] == '.' && (raw[1] == '\0' || (raw[1] == '.' && raw[2] == '\0')))
            continue;

        DirectoryEntry::Kind kind;
        switch (entry->d_type) {
        case DT_DIR: kind = DirectoryEntry::Kind::Folder; break;
        case DT_REG: kind = DirectoryEntry::Kind::File; break;
        case DT_LNK: kind = DirectoryEntry::Kind::Link; break;
        case DT_UNKNOWN: {
            struct stat info;
            if (fstatat(dirfd(dir), raw, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // gone since readdir saw it
            kind = kindOfMode(info.st_mode);
            break;
        }
        default: kind = DirectoryEntry::Kind::Other; break;
        }
        if (foldersOnly && kind != DirectoryEntry::Kind::Folder)
            continue;

        const QByteArray bytes(raw);
        QString name = QFile::decodeName(bytes);
        // Bytes that are not UTF-8 decode to U+FFFD; such a name cannot be used again.
        const bool nameable = !name.contains(QChar::ReplacementCharacter) || QFile::encodeName(name) == bytes;
        entries.push_back({std::move(name), kind, nameable, nameable ? QByteArray() : bytes});
    }
    return entries;
}

bool ComesBeforeInListing(const QString &a, const QString &b)
{
    const int folded = a.compare(b, Qt::CaseInsensitive);
    if (folded != 0)
        return folded < 0;
    return a.compare(b, Qt::CaseSensitive) < 0;
}

PathKind KindOfPath(const QString &path)
{
    return KindOfPath(QFile::encodeName(path));
}

PathKind KindOfPath(const QByteArray &systemPath)
{
    struct stat info;
    if (systemPath.isEmpty() || systemPath.contains('\0') || stat(systemPath.constData(), &info) != 0)
        return PathKind::Missing;
    if (S_ISDIR(info.st_mode))
        return PathKind::Folder;
    return S_ISREG(info.st_mode) ? PathKind::File : PathKind::Other;
}
