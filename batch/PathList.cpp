#include "batch/PathList.h"

#include "util/AppError.h"
#include "util/SystemError.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

QByteArray readAll(int fd, const QString &name)
{
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            bytes.append(buffer, got);
        } else if (got == 0) {
            return bytes;
        } else if (errno != EINTR) {
            throw AppError(QStringLiteral("The list of paths %1 could not be read: %2.")
                               .arg(name, SystemErrorText(errno)));
        }
    }
}

} // namespace

QStringList SplitPathList(const QByteArray &bytes, bool nullSeparated)
{
    QStringList paths;
    for (const QByteArray &entry : bytes.split(nullSeparated ? '\0' : '\n')) {
        if (!entry.isEmpty())
            paths << QFile::decodeName(entry);
    }
    return paths;
}

QStringList ReadPathList(const QString &file, bool nullSeparated)
{
    if (file == QLatin1String("-"))
        return SplitPathList(readAll(STDIN_FILENO, QStringLiteral("on standard input")), nullSeparated);
    QFile list(file);
    if (!list.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("The list of paths %1 could not be read: %2.").arg(file, list.errorString()));
    const int fd = list.handle();
    return SplitPathList(readAll(fd, file), nullSeparated);
}
