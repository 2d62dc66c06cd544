#include "support/TestEnvironment.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

QString IsolateUserFolders()
{
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/tarnwick-test-home-XXXXXX"));
    const QString root = home.path();
    for (const char *sub : {"config", "cache", "data", "Desktop", "runtime"})
        QDir(root).mkpath(QLatin1String(sub));
    QFile::setPermissions(root + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", root.toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (root + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", (root + QStringLiteral("/runtime")).toUtf8());
    return root;
}
