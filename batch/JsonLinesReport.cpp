#include "batch/JsonLinesReport.h"

#include "util/AppError.h"
#include "util/PathHelpers.h"
#include "util/PrintableName.h"
#include "util/SystemError.h"
#include "util/WriteAll.h"

#include <QFile>
#include <QJsonDocument>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kReaderPollMs = 100;

AppError refusal(const QString &file, const QString &why)
{
    return AppError(QStringLiteral("The report %1 %2; nothing was written to it.").arg(file, why));
}

// Why a file that is already there may not take the report; empty when it may.
QString unfitness(const struct stat &info)
{
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("is a symbolic link");
    if (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode))
        return QStringLiteral("is not a plain file");
    if (info.st_uid != ::geteuid())
        return QStringLiteral("belongs to another user");
    if (S_ISREG(info.st_mode) && info.st_nlink > 1)
        return QStringLiteral("has other names (hard links)");
    return {};
}

// Opens the report without following a link and without emptying it yet. A FIFO
// has no reader until one opens it: opened without blocking, it is tried again
// until one is there or a stop signal came.
int openReport(const QByteArray &path, int stop)
{
    for (;;) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != ENXIO)
            return fd;
        pollfd stopped{stop, POLLIN, 0};
        if (::poll(&stopped, 1, kReaderPollMs) > 0) {
            errno = EINTR;
            return -1;
        }
    }
}

} // namespace

JsonLinesReport::JsonLinesReport(const QString &file, int stop) : m_stop(stop), m_name(file)
{
    if (file == QLatin1String("-")) {
        m_fd = STDOUT_FILENO;
        return;
    }
    const QByteArray path = QFile::encodeName(file);
    // What is there is looked at before it is opened: opening a device may act on it.
    struct stat before {};
    if (::lstat(path.constData(), &before) == 0) {
        if (const QString why = unfitness(before); !why.isEmpty())
            throw refusal(file, why);
    }
    m_file.reset(openReport(path, stop));
    if (m_file.get() < 0) {
        if (errno == ELOOP)
            throw refusal(file, QStringLiteral("is a symbolic link"));
        throw AppError(QStringLiteral("The report %1 could not be written: %2.").arg(file, SystemErrorText(errno)));
    }
    // And what was opened, which may have been put there meanwhile.
    struct stat opened {};
    if (::fstat(m_file.get(), &opened) != 0)
        throw AppError(QStringLiteral("The report %1 could not be written: %2.").arg(file, SystemErrorText(errno)));
    if (const QString why = unfitness(opened); !why.isEmpty()) {
        m_file.reset();
        throw refusal(file, why);
    }
    if (S_ISREG(opened.st_mode) && ::ftruncate(m_file.get(), 0) != 0)
        throw AppError(QStringLiteral("The report %1 could not be written: %2.").arg(file, SystemErrorText(errno)));
    ::fcntl(m_file.get(), F_SETFL, ::fcntl(m_file.get(), F_GETFL) & ~O_NONBLOCK);
    m_fd = m_file.get();
}

void JsonLinesReport::document(QByteArrayView source, const QString &target, const QString &status,
                               const QString &reason, double seconds, qint64 bytes, const QString &readAs)
{
    QJsonObject line;
    if (IsUtf8(source)) {
        line[QStringLiteral("source")] = QString::fromUtf8(source);
    } else {
        line[QStringLiteral("source")] = PrintableName(source);
        line[QStringLiteral("escaped")] = true;
    }
    if (!target.isEmpty())
        line[QStringLiteral("target")] = target;
    line[QStringLiteral("status")] = status;
    if (!readAs.isEmpty())
        line[QStringLiteral("read-as")] = readAs;
    if (!reason.isEmpty())
        line[QStringLiteral("reason")] = reason;
    line[QStringLiteral("seconds")] = std::round(seconds * 1000) / 1000;
    line[QStringLiteral("bytes")] = bytes;
    write(line);
}

void JsonLinesReport::summary(const QJsonObject &summary)
{
    write(QJsonObject{{QStringLiteral("summary"), summary}});
    // A disk may refuse what it took only when it is flushed (a network share); a
    // pipe or a terminal has nothing to flush.
    if (m_fd >= 0 && m_file.get() == m_fd) {
        if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS)
            fail(errno);
        else if (::close(m_file.release()) != 0 && errno != EINTR)
            fail(errno);
        m_fd = -1;
    }
}

void JsonLinesReport::write(const QJsonObject &object)
{
    if (m_fd < 0)
        return;
    const QByteArray line = JsonLine(object);
    if (!WriteAllUnlessStopped(m_fd, line.constData(), size_t(line.size()), m_stop))
        fail(errno);
}

// A report that cannot be written must not stop the conversions: it is said
// once, at the end, and the run does not end well.
void JsonLinesReport::fail(int error)
{
    if (m_failure.isEmpty())
        m_failure = error == EINTR ? QStringLiteral("its reader took no more before the stop") : SystemErrorText(error);
    m_file.reset();
    m_fd = -1;
}
