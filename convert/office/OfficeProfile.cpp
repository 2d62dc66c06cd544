#include "convert/office/OfficeProfile.h"

#include "core/ProgramCache.h"
#include "util/AppError.h"

#include <QDir>
#include <QFile>

namespace {

constexpr auto kPrivate = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

} // namespace

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
    // Links inside are removed, never followed.
    QDir(folder).removeRecursively();
    if (!QDir().mkpath(folder) || !QFile::setPermissions(folder, kPrivate))
        throw AppError(QStringLiteral("The office's temporary folder %1 could not be made.").arg(folder));
}

QString OfficeProfile::claim(const QString &base)
{
    if (m_lock)
        return m_folder;
    if (base == defaultFolder())
        MakeProgramCacheFolder();
    constexpr int kMaxFolders = 20;
    for (int n = 1; n <= kMaxFolders; ++n) {
        const QString folder = n == 1 ? base : QStringLiteral("%1-%2").arg(base, QString::number(n));
        if (!QDir().mkpath(folder))
            throw AppError(QStringLiteral("The office's profile folder %1 could not be created.").arg(folder));
        auto lock = std::make_unique<QLockFile>(folder + QStringLiteral(".lock"));
        lock->setStaleLockTime(0); // a lock is stale only when its program has gone
        if (lock->tryLock(0)) {
            // The profile keeps the office's settings and recent documents: only
            // this user may look in.
            if (!QFile::setPermissions(folder, kPrivate)) {
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
