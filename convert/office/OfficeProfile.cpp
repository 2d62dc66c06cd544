#include "convert/office/OfficeProfile.h"

#include "util/AppError.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

QString OfficeProfile::defaultFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
        .filePath(QStringLiteral("tarnwick/office-profile"));
}

QString OfficeProfile::claim(const QString &base)
{
    if (m_lock)
        return m_folder;
    constexpr int kMaxFolders = 20;
    for (int n = 1; n <= kMaxFolders; ++n) {
        const QString folder = n == 1 ? base : QStringLiteral("%1-%2").arg(base).arg(n);
        if (!QDir().mkpath(folder))
            throw AppError(QStringLiteral("The office's profile folder %1 could not be created.").arg(folder));
        auto lock = std::make_unique<QLockFile>(folder + QStringLiteral(".lock"));
        lock->setStaleLockTime(0); // a lock is stale only when its program has gone
        if (lock->tryLock(0)) {
            // The profile keeps the office's settings and recent documents: only
            // this user may look in.
            if (!QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
                throw AppError(
                    QStringLiteral("The office's profile folder %1 could not be made private.").arg(folder));
            }
            m_lock = std::move(lock);
            m_folder = folder;
            return m_folder;
        }
    }
    throw AppError(QStringLiteral("The office's profile folders under %1 are all in use.").arg(base));
}
