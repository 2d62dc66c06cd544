#include "serve/BodiesFolder.h"

#include "util/AppError.h"
#include "util/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

const QString kPrefix = QStringLiteral("tarnwick-serve-");

// Removes the folders of services that ended without removing theirs: only folders
// of the service's own name and of this user, that no running service holds locked.
int removeLeftOvers(const QString &temporary)
{
    static const QRegularExpression name(QStringLiteral("^tarnwick-serve-[A-Za-z0-9]{6}$"));
    int removed = 0;
    const QStringList found =
        QDir(temporary).entryList({kPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden | QDir::NoSymLinks);
    for (const QString &folder : found) {
        const QString path = QDir(temporary).filePath(folder);
        const FileDescriptor fd(
            ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat info {};
        if (!name.match(folder).hasMatch() || fd.get() < 0 || ::fstat(fd.get(), &info) != 0
            || info.st_uid != ::geteuid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        try {
            RemovePrivateFolder(path);
            ++removed;
        } catch (const AppError &) {
            // Not private (so not one of ours as they are made), or not removable: left.
        }
    }
    return removed;
}

} // namespace

BodiesFolder::BodiesFolder()
{
    const QString temporary = QDir::tempPath();
    m_removed = removeLeftOvers(temporary);
    // Made under another name and locked before it takes the service's name, so that
    // no other start ever finds it unlocked while its service lives.
    QByteArray making = QFile::encodeName(QDir(temporary).filePath(QStringLiteral("tarnwick-making-XXXXXX")));
    if (!::mkdtemp(making.data()))
        throw AppError(QStringLiteral("No private folder could be made for the documents in %1: %2.")
                           .arg(temporary, SystemErrorText(errno)));
    m_lock.reset(::open(making.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const QString path = QDir(temporary).filePath(kPrefix + QFile::decodeName(making).right(6));
    if (m_lock.get() < 0 || ::flock(m_lock.get(), LOCK_EX) != 0
        || ::renameat2(AT_FDCWD, making.constData(), AT_FDCWD, QFile::encodeName(path).constData(), RENAME_NOREPLACE)
               != 0) {
        const int error = errno;
        ::rmdir(making.constData());
        throw AppError(QStringLiteral("No private folder could be made for the documents in %1: %2.")
                           .arg(temporary, SystemErrorText(error)));
    }
    m_path = path;
    CheckPrivateFolder(m_path);
}

BodiesFolder::~BodiesFolder()
{
    try {
        RemovePrivateFolder(m_path);
    } catch (const AppError &) {
        // Left for the next start.
    }
}
