#include "batch/PathList.h"

#include "util/AppError.h"
#include "util/SystemError.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// Reads to the end, waiting in poll() rather than in read(), so that a stop
// signal ends the wait wherever the writer is.
QByteArray readAll(int fd, const QString &name, int stop)
{
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        pollfd ready[2] = {{fd, POLLIN, 0}, {stop, POLLIN, 0}};
        if (::poll(ready, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (ready[1].revents & POLLIN)
            throw AppError(
                QStringLiteral("The list of paths %1 was not read to its end: the run was stopped.").arg(name));
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0)
            bytes.append(buffer, got);
        else if (got == 0)
            return bytes;
        else if (errno != EINTR && errno != EAGAIN)
            break;
    }
    throw AppError(QStringLiteral("The list of paths %1 could not be read: %2.").arg(name, SystemErrorText(errno)));
}

} // namespace

QList<QByteArray> SplitPathList(const QByteArray &bytes, bool nullSeparated)
{
    QList<QByteArray> paths;
    for (const QByteArray &entry : bytes.split(nullSeparated ? '\0' : '\n')) {
        if (!entry.isEmpty())
            paths << entry;
    }
    return paths;
}

QList<QByteArray> ReadPathList(const QString &file, bool nullSeparated, int stop)
{
    if (file == QLatin1String("-"))
        return SplitPathList(readAll(STDIN_FILENO, QStringLiteral("on standard input"), stop), nullSeparated);
    // Without blocking: a FIFO would block the open until its writer comes. A FIFO
    // opened so reads nothing but waits in poll() until a writer has come and gone.
    const FileDescriptor list(::open(QFile::encodeName(file).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (list.get() < 0)
        throw AppError(QStringLiteral("The list of paths %1 could not be read: %2.").arg(file, SystemErrorText(errno)));
    return SplitPathList(readAll(list.get(), file, stop), nullSeparated);
}
