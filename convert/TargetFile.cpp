#include "convert/TargetFile.h"

#include "util/AppError.h"
#include "util/PartialFiles.h"
#include "util/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray bytesOf(const QString &path)
{
    return QFile::encodeName(path);
}

// The process's file-creation mask, read without changing it (umask() would change
// it for every thread for a moment).
mode_t currentUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mode_t(mask);
            }
        }
    }
    return 022;
}

// Throws unless the saved file is still the hidden file in its folder and on the
// disk. Whether it is whole is the writer's to know: the office's bytes come through
// a stream of the program's own, which fails the save on any write the disk refused
// or took only in part, and a save that the office reported done may be empty (a
// document of pictures alone has no text).
void requireWholeSave(const TemporaryTextFile &saved, const QString &target)
{
    struct stat named {};
    struct stat held {};
    if (::fstatat(saved.folder().descriptor(), bytesOf(saved.name()).constData(), &named, AT_SYMLINK_NOFOLLOW) != 0
        || ::fstat(saved.descriptor(), &held) != 0 || !S_ISREG(named.st_mode) || named.st_dev != held.st_dev
        || named.st_ino != held.st_ino)
        throw AppError(QStringLiteral("The office did not save %1.").arg(target));
    if (::fsync(saved.descriptor()) != 0) {
        const int error = errno;
        throw TextNotStored(QStringLiteral("The text file %1 could not be written to the disk: %2.")
                                .arg(target, SystemErrorText(error)),
                            IsDiskFull(error));
    }
}

// What the text file's mode will be. A text is never readable by more people than
// its document: a new one gets the document's read and write bits (through links),
// narrowed by the umask; a replaced one keeps its own where they are not wider than
// those. Its owner may always write it, though the document be read-only: a text
// that a run made read-only would be refused by the next run, which replaces only
// writable texts. Never an execute, set-id or sticky bit: a text is not a program.
mode_t targetMode(int folder, const QByteArray &name, const QString &source)
{
    struct stat document {};
    const mode_t documentBits =
        (::stat(bytesOf(source).constData(), &document) == 0 ? document.st_mode & 0666 : 0600) | S_IWUSR;
    struct stat info {};
    if (::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
        return info.st_mode & documentBits;
    return documentBits & ~currentUmask();
}

// Root's text in a folder of the document's owner goes to that user and the
// document's group, as the user's own conversion would make it: not a file of
// root's among the user's files. Elsewhere root's text stays root's.
bool ownLikeDocument(const TemporaryTextFile &saved, const QString &source)
{
    struct stat document {};
    if (::geteuid() != 0 || ::stat(bytesOf(source).constData(), &document) != 0 || document.st_uid == 0
        || saved.folder().owner() != document.st_uid)
        return true;
    return ::fchown(saved.descriptor(), document.st_uid, document.st_gid) == 0;
}

} // namespace

void RunTextFiles::checkTarget(const QString &target, const QString &source) const
{
    checkEntry(AT_FDCWD, bytesOf(target), target, source);
}

void RunTextFiles::checkEntry(int folder, const QByteArray &name, const QString &target, const QString &source) const
{
    struct stat info {};
    if (::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return; // a new file
    if (S_ISLNK(info.st_mode)) {
        throw AppError(QStringLiteral("The text file %1 is a symbolic link; nothing was written through it, "
                                      "and neither the link nor what it points to was changed.")
                           .arg(target));
    }
    if (!S_ISREG(info.st_mode))
        throw AppError(QStringLiteral("%1 is not a plain file; it was not replaced.").arg(target));
    // Root may write anything, so a file without any write permission counts as
    // read-only for everyone.
    if (::faccessat(folder, name.constData(), W_OK, 0) != 0 || (info.st_mode & 0222) == 0)
        throw AppError(QStringLiteral("The text file %1 is read-only; it was not replaced.").arg(target));
    const auto written = m_written.find({info.st_dev, info.st_ino});
    if (written != m_written.end() && written->second != source) {
        throw AppError(QStringLiteral("The text file %1 was already written in this run, from %2; it was "
                                      "not replaced.")
                           .arg(target, written->second));
    }
}

TargetFolder RunTextFiles::openFolderOf(const QString &target, const QString &source) const
{
    return TargetFolder::open(QFileInfo(target).absolutePath(), m_tree, TargetFolder::Missing::Refuse,
                              TextOf::document(source));
}

void RunTextFiles::commit(const TemporaryTextFile &saved, const QString &target, const QString &source)
{
    requireWholeSave(saved, target);
    const int folder = saved.folder().descriptor();
    const QByteArray name = bytesOf(QFileInfo(target).fileName());
    checkEntry(folder, name, target, source); // the target may have changed while the office saved
    saved.folder().requireStillNamed();
    if (::fchmod(saved.descriptor(), targetMode(folder, name, source)) != 0 || !ownLikeDocument(saved, source)
        || ::renameat(folder, bytesOf(saved.name()).constData(), folder, name.constData()) != 0) {
        const int error = errno;
        throw TextNotStored(
            QStringLiteral("The text file %1 could not be written: %2.").arg(target, SystemErrorText(error)),
            IsDiskFull(error));
    }
    struct stat info {};
    if (::fstat(saved.descriptor(), &info) == 0)
        m_written[{info.st_dev, info.st_ino}] = source;
    // The rename survives a crash of the machine only once the folder is on the
    // disk; a file system that cannot sync a folder (EINVAL) keeps it as it may.
    if (::fsync(folder) != 0 && errno != EINVAL) {
        const int error = errno;
        throw TextNotStored(QStringLiteral("The text file %1 was written, but its folder could not be written to "
                                           "the disk: %2.")
                                .arg(target, SystemErrorText(error)),
                            IsDiskFull(error));
    }
}

QString TemporaryNameFor(const QString &target)
{
    const quint64 random = QRandomGenerator::system()->generate64();
    return QFileInfo(target).absolutePath() + QStringLiteral("/.tarnwick-%1.part").arg(random, 16, 16, QLatin1Char('0'));
}

bool IsTemporaryTextFileName(const QString &path)
{
    static const QRegularExpression name(QStringLiteral("^\\.tarnwick-[0-9a-f]{16}\\.part$"));
    return name.match(QFileInfo(path).fileName()).hasMatch();
}

int RemoveStaleTemporaryFiles(const QString &folder)
{
    constexpr time_t kQuietSeconds = 2;
    int removed = 0;
    const QStringList names = QDir(folder).entryList({QStringLiteral(".tarnwick-*.part")},
                                                     QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString &name : names) {
        if (!IsTemporaryTextFileName(name))
            continue;
        const QByteArray path = bytesOf(QDir(folder).filePath(name));
        const FileDescriptor file(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {};
        struct stat named {};
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        if (file.get() < 0 || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode)
            || opened.st_uid != ::geteuid() || now.tv_sec - opened.st_mtim.tv_sec < kQuietSeconds
            || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        // Still the file that was looked at, not one put in its place meanwhile.
        if (::lstat(path.constData(), &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino
            && ::unlink(path.constData()) == 0)
            ++removed;
    }
    return removed;
}

TemporaryTextFile::TemporaryTextFile(TargetFolder folder, const QString &target, const QString &name)
    : m_folder(std::move(folder)),
      m_name(name.isEmpty() ? QFileInfo(TemporaryNameFor(target)).fileName() : name),
      m_path(m_folder.boundPath() + QLatin1Char('/') + m_name),
      m_target(target)
{
    m_lock = ::openat(m_folder.descriptor(), bytesOf(m_name).constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (m_lock < 0) {
        const int error = errno;
        m_owned = false;
        throw TextNotStored(QStringLiteral("The text file %1 could not be written: no file can be made in its "
                                           "folder (%2).")
                                .arg(target, SystemErrorText(error)),
                            IsDiskFull(error));
    }
    // Without its lock the file would look abandoned to RemoveStaleTemporaryFiles.
    int locked;
    do
        locked = ::flock(m_lock, LOCK_EX);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const int error = errno;
        ::unlinkat(m_folder.descriptor(), bytesOf(m_name).constData(), 0);
        ::close(std::exchange(m_lock, -1));
        m_owned = false;
        throw TextNotStored(QStringLiteral("The text file %1 could not be written: the file being saved could "
                                           "not be locked (%2).")
                                .arg(target, SystemErrorText(error)),
                            false);
    }
    RegisterPartialFile(m_path);
}

TemporaryTextFile::~TemporaryTextFile()
{
    if (m_owned)
        ::unlinkat(m_folder.descriptor(), bytesOf(m_name).constData(), 0);
    if (m_lock >= 0)
        ::close(m_lock);
    ForgetPartialFile(m_path);
}

void TemporaryTextFile::commitAs(RunTextFiles &files, const QString &target, const QString &source)
{
    files.commit(*this, target, source);
    m_owned = false;
}
