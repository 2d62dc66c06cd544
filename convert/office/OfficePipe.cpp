#include "convert/office/OfficePipe.h"

#include "convert/office/OfficeAccount.h"
#include "util/AppError.h"
#include "util/PrivateFolder.h"
#include "util/SystemError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr auto kNamePrefix = "tarnwick_";
constexpr auto kSocketName = "office";

// The folder the UNO runtime puts pipes in.
QString pipeFolder()
{
    for (const char *folder : {"/tmp", "/var/tmp"}) {
        if (::access(folder, W_OK) == 0)
            return QLatin1String(folder);
    }
    throw AppError(QStringLiteral("Neither /tmp nor /var/tmp can be written, and the office needs one of them "
                                  "for its pipe."));
}

// What the UNO runtime puts before a pipe's name for an id with an account.
QString accountPrefix()
{
    return QStringLiteral("OSL_PIPE_%1_").arg(::getuid());
}

} // namespace

OfficePipe::OfficePipe()
{
    const quint64 random = QRandomGenerator::system()->generate64();
    m_folder = QDir(pipeFolder())
                   .filePath(accountPrefix() + QLatin1String(kNamePrefix)
                             + QStringLiteral("%1_%2").arg(::getpid()).arg(random, 16, 16, QLatin1Char('0')));
    // A new folder: mkdir fails on anything already there.
    if (::mkdir(QFile::encodeName(m_folder).constData(), S_IRWXU) != 0) {
        const QString reason = SystemErrorText(errno);
        m_folder.clear();
        throw AppError(QStringLiteral("The folder for the office's pipe could not be made: %1").arg(reason));
    }
}

OfficePipe::~OfficePipe()
{
    if (m_folder.isEmpty())
        return;
    try {
        RemovePrivateFolder(m_folder);
    } catch (const AppError &error) {
        qWarning("%s", qPrintable(error.description()));
    }
}

QString OfficePipe::officeName() const
{
    return QDir(m_folder).dirName().mid(accountPrefix().size()) + QLatin1Char('/') + QLatin1String(kSocketName);
}

QString OfficePipe::connectName() const
{
    return HasUserAccount() ? officeName() : QStringLiteral("%1_").arg(::getuid()) + officeName();
}

QString OfficePipe::socketPath() const
{
    return QDir(m_folder).filePath(QLatin1String(kSocketName));
}

bool OfficePipe::isOwnSocket() const
{
    struct stat info {};
    if (::lstat(QFile::encodeName(socketPath()).constData(), &info) != 0)
        return false;
    if (info.st_uid != ::getuid() || !S_ISSOCK(info.st_mode)) {
        throw AppError(QStringLiteral("The office's pipe %1 belongs to someone else; it was not used.")
                           .arg(socketPath()));
    }
    return true;
}

void OfficePipe::removeLeftoversOfEndedPrograms()
{
    QString folder;
    try {
        folder = pipeFolder();
    } catch (const AppError &) {
        return;
    }
    const QString prefix = accountPrefix() + QLatin1String(kNamePrefix);
    const QDir pipes(folder);
    const QStringList names = pipes.entryList({prefix + QLatin1Char('*')}, QDir::AllEntries | QDir::System | QDir::Hidden);
    for (const QString &name : names) {
        bool isNumber = false;
        const pid_t pid = name.mid(prefix.size()).section(QLatin1Char('_'), 0, 0).toInt(&isNumber);
        if (!isNumber || pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        const QString path = pipes.filePath(name);
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || info.st_uid != ::getuid())
            continue;
        try {
            if (S_ISDIR(info.st_mode))
                RemovePrivateFolder(path);
            else if (S_ISSOCK(info.st_mode))
                QFile::remove(path); // an older program's socket, made without a folder
        } catch (const AppError &) {
            // not ours to tidy after all
        }
    }
}

QString OfficePipe::singleInstancePipePath(const QString &installationUrl)
{
    const QByteArray utf16(reinterpret_cast<const char *>(installationUrl.utf16()), installationUrl.size() * 2);
    // The office writes each byte of the hash in hex without a leading zero.
    QString hash;
    for (const char byte : QCryptographicHash::hash(utf16, QCryptographicHash::Md5))
        hash += QString::number(uchar(byte), 16);
    return QDir(pipeFolder()).filePath(accountPrefix() + QStringLiteral("SingleOfficeIPC_") + hash);
}

void OfficePipe::removeSingleInstancePipe(const QString &installationUrl)
{
    try {
        const QByteArray path = QFile::encodeName(singleInstancePipePath(installationUrl));
        struct stat info {};
        if (::lstat(path.constData(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == ::getuid())
            ::unlink(path.constData());
    } catch (const AppError &) {
        // No folder for pipes: nothing was left there.
    }
}
