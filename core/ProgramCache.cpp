#include "core/ProgramCache.h"

#include "util/PrivateFolder.h"

#include <QDir>
#include <QStandardPaths>

QString ProgramCacheFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
        .filePath(QStringLiteral("tarnwick"));
}

void MakeProgramCacheFolder()
{
    MakePrivateFolder(ProgramCacheFolder());
}
