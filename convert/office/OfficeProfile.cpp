#include "convert/office/OfficeProfile.h"

#include "core/ProgramCache.h"
#include "util/AppError.h"
#include "util/PrivateFolder.h"
#include "util/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>

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

namespace {

constexpr auto kInstallationPrefix = "office-";

QString renameError(const QString &from, const QString &to, int error)
{
    return QStringLiteral("The office's profile %1 could not be renamed to %2: %3.")
        .arg(from, to, SystemErrorText(error));
}

} // namespace

QString OfficeProfile::renewInstallation()
{
    const QString fresh = QDir(m_folder).filePath(
        QLatin1String(kInstallationPrefix)
        + QStringLiteral("%1").arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0')));
    const QDir folder(m_folder);
    const QStringList earlier = folder.entryList({QLatin1String(kInstallationPrefix) + QLatin1Char('*')},
                                                 QDir::Dirs | QDir::NoSymLinks | QDir::Hidden, QDir::Name);
    m_previousInstallation.clear();
    if (!earlier.isEmpty()) {
        const QString from = folder.filePath(earlier.first());
        m_previousInstallation = from;
        if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(fresh).constData()) != 0)
            throw AppError(renameError(from, fresh, errno));
        // Only one is ever made; others would be what a crash between two steps left.
        for (qsizetype i = 1; i < earlier.size(); ++i)
            RemovePrivateFolder(folder.filePath(earlier[i]));
    } else {
        MakePrivateFolder(fresh);
        // Where the profile was kept before it had a folder of its own.
        const QString user = folder.filePath(QStringLiteral("user"));
        if (QFileInfo(user).isDir() && !QFileInfo(user).isSymLink()
            && ::rename(QFile::encodeName(user).constData(),
                        QFile::encodeName(fresh + QStringLiteral("/user")).constData())
                   != 0)
            throw AppError(renameError(user, fresh + QStringLiteral("/user"), errno));
    }
    m_installation = fresh;
    return fresh;
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
