#include "core/ProgramCache.h"

#include "util/AppError.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

QString ProgramCacheFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
        .filePath(QStringLiteral("tarnwick"));
}

void MakeProgramCacheFolder()
{
    const QString folder = ProgramCacheFolder();
    if (!QDir().mkpath(folder)
        || !QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        throw AppError(QStringLiteral("The program's cache folder %1 could not be made private.").arg(folder));
    }
}
