#include "convert/office/OfficePipe.h"

#include "util/AppError.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folder and prefix the UNO runtime gives pipes created for a user.
QString socketPrefix()
{
    return QStringLiteral("OSL_PIPE_%1_").arg(::getuid());
}

constexpr auto kPipeFolder = "/tmp";
constexpr auto kNamePrefix = "tarnwick_";

} // namespace

namespace OfficePipe {

QString newName()
{
    const quint64 random = QRandomGenerator::system()->generate64();
    return QStringLiteral("%1%2_%3").arg(QLatin1String(kNamePrefix)).arg(::getpid()).arg(random, 16, 16, QLatin1Char('0'));
}

QString socketPath(const QString &name)
{
    return QDir(QLatin1String(kPipeFolder)).filePath(socketPrefix() + name);
}

bool isOwnSocket(const QString &name)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(socketPath(name)).constData(), &info) != 0)
        return false;
    if (info.st_uid != ::getuid() || !S_ISSOCK(info.st_mode)) {
        throw AppError(QStringLiteral("The office's pipe %1 belongs to someone else; it was not used.")
                           .arg(socketPath(name)));
    }
    return true;
}

void restrictToOwner(const QString &name)
{
    ::chmod(QFile::encodeName(socketPath(name)).constData(), S_IRWXU);
}

void removeLeftover(const QString &name)
{
    if (!name.isEmpty())
        QFile::remove(socketPath(name));
}

void removeLeftoversOfEndedPrograms()
{
    const QString prefix = socketPrefix() + QLatin1String(kNamePrefix);
    const QDir folder{QLatin1String(kPipeFolder)};
    const QStringList sockets = folder.entryList({prefix + QLatin1Char('*')}, QDir::System | QDir::Hidden);
    for (const QString &socket : sockets) {
        bool isNumber = false;
        const pid_t pid = socket.mid(prefix.size()).section(QLatin1Char('_'), 0, 0).toInt(&isNumber);
        if (!isNumber || pid <= 0 || pid == ::getpid())
            continue;
        if (::kill(pid, 0) != 0 && errno == ESRCH)
            QFile::remove(folder.filePath(socket));
    }
}

} // namespace OfficePipe
