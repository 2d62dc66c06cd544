#include "input/WalkExclusions.h"

#include "core/ProgramCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <optional>
#include <sys/stat.h>

namespace {

std::optional<std::pair<dev_t, ino_t>> folderId(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return std::nullopt;
    return std::pair{info.st_dev, info.st_ino};
}

} // namespace

bool IsVolumeTrashName(const QString &name)
{
    static const QRegularExpression trash(QStringLiteral("^\\.Trash(-\\d+)?$"));
    return trash.match(name).hasMatch();
}

WalkExclusions::WalkExclusions()
{
    const QString homeTrash =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath(QStringLiteral("Trash"));
    for (const QString &path : {homeTrash, ProgramCacheFolder()}) {
        if (const auto id = folderId(path))
            m_folders.push_back({QFileInfo(path).fileName(), *id});
    }
}

bool WalkExclusions::excludes(const QString &folder, const QString &name) const
{
    if (IsVolumeTrashName(name))
        return true;
    for (const Excluded &excluded : m_folders) {
        // Compared by identity, so that a path through a link to the same folder
        // is caught as well.
        if (name == excluded.name && folderId(folder + name) == excluded.id)
            return true;
    }
    return false;
}
