#include "input/DroppedPaths.h"

#include "input/FolderFileRules.h"
#include "input/FolderScan.h"
#include "util/PathHelpers.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include <cerrno>
#include <sys/stat.h>

namespace {

enum class PathKind { Folder, NotFolder, Unexaminable };

// A path that does not exist is no folder: it is appended as dropped, like any file.
// One that exists but cannot be looked at, or is neither a folder nor a regular file
// (a FIFO, a socket, a device), is left out.
PathKind kindOf(const QString &path)
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return PathKind::Unexaminable;
    struct stat info;
    if (stat(QFile::encodeName(path).constData(), &info) == 0)
        return S_ISDIR(info.st_mode) ? PathKind::Folder
               : S_ISREG(info.st_mode) ? PathKind::NotFolder
                                       : PathKind::Unexaminable;
    return errno == ENOENT || errno == ENOTDIR ? PathKind::NotFolder : PathKind::Unexaminable;
}

void addFolderTree(const QString &folder, ListWindow &window)
{
    FolderList folders{folder + PathSeparator()};
    GetSubDirectories2016(folders, true, window.dialogs());
    for (const QString &entry : folders) {
        const QString path = entry.chopped(1);
        QStringList names;
        try {
            names = ListFolderFiles(path, QStringLiteral("*.*"));
        } catch (...) {
            continue; // this folder cannot be listed; the others still can
        }
        for (const QString &name : names) {
            const QString row = FolderFileRow(path, name);
            if (!row.isEmpty())
                window.appendRow(row);
        }
    }
}

} // namespace

bool CarriesFileList(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return false;
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty())
        return false;
    for (const QUrl &url : urls)
        if (!url.isLocalFile() || url.toLocalFile().isEmpty())
            return false;
    return true;
}

QStringList DroppedLocalPaths(const QMimeData *data)
{
    QStringList paths;
    if (!CarriesFileList(data))
        return paths;
    for (const QUrl &url : data->urls()) {
        QString path = QDir::toNativeSeparators(url.toLocalFile());
        // A file manager may send a folder with its trailing separator.
        while (path.size() > 1 && path.endsWith(PathSeparator()))
            path.chop(1);
        paths << path;
    }
    return paths;
}

void AddDroppedPaths(const QStringList &paths, ListWindow &window)
{
    for (const QString &path : paths) {
        try {
            switch (kindOf(path)) {
            case PathKind::NotFolder: window.appendRow(path); break;
            case PathKind::Folder: addFolderTree(path, window); break;
            case PathKind::Unexaminable: break;
            }
        } catch (...) {
            // A drop must never end the program; the next path still counts.
        }
    }
}
