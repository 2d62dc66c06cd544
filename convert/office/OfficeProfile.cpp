#include "convert/office/OfficeProfile.h"

#include "core/ProgramCache.h"
#include "util/AppError.h"
#include "util/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString OfficeProfile::defaultFolder()
{
    return QDir(ProgramCacheFolder()).filePath(QStringLiteral("office-profile"));
}

QString OfficeProfile::temporaryFolder() const
{
    return m_folder.isEmpty() ? QString() : m_folder + QStringLiteral("-temp");
}

void OfficeProfile::emptyTemporaryFolder()
{
    const QString folder = temporaryFolder();
    if (folder.isEmpty())
        return;
    MakePrivateFolder(folder);
    EmptyPrivateFolder(folder);
}

QString OfficeProfile::claim(const QString &base)
{
    if (m_lock)
        return m_folder;
    // The profile keeps the office's settings and its lock files: only this user
    // may look in, and the folders above must not be someone else's to change.
    if (QFileInfo(base).absolutePath() == QFileInfo(ProgramCacheFolder()).absoluteFilePath())
        MakeProgramCacheFolder();
    constexpr int kMaxFolders = 20;
    for (int n = 1; n <= kMaxFolders; ++n) {
        const QString folder = n == 1 ? base : QStringLiteral("%1-%2").arg(base, QString::number(n));
        MakePrivateFolder(folder);
        const QString lockFile = folder + QStringLiteral(".lock");
        auto lock = std::make_unique<QLockFile>(lockFile);
        lock->setStaleLockTime(0); // a lock is stale only when its program has gone
        if (lock->tryLock(0)) {
            // QLockFile makes its file as the umask allows.
            QFile::setPermissions(lockFile, QFile::ReadOwner | QFile::WriteOwner);
            m_lock = std::move(lock);
            m_folder = folder;
            return m_folder;
        }
    }
    throw AppError(QStringLiteral("The office's profile folders under %1 are all in use.").arg(base));
}
