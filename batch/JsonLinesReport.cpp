#include "batch/JsonLinesReport.h"

#include "batch/PrintableName.h"
#include "util/AppError.h"
#include "util/PathHelpers.h"
#include "util/SystemError.h"
#include "util/WriteAll.h"

#include <QFile>
#include <QJsonDocument>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

JsonLinesReport::JsonLinesReport(const QString &file) : m_name(file)
{
    if (file == QLatin1String("-")) {
        m_fd = STDOUT_FILENO;
        return;
    }
    m_file.reset(::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (m_file.get() < 0)
        throw AppError(QStringLiteral("The report %1 could not be written: %2.")
                           .arg(file, SystemErrorText(errno)));
    m_fd = m_file.get();
}

void JsonLinesReport::document(QByteArrayView source, const QString &target, const QString &status,
                               const QString &reason, double seconds, qint64 bytes)
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
    if (!reason.isEmpty())
        line[QStringLiteral("reason")] = reason;
    line[QStringLiteral("seconds")] = std::round(seconds * 1000) / 1000;
    line[QStringLiteral("bytes")] = bytes;
    write(line);
}

void JsonLinesReport::summary(const QJsonObject &summary)
{
    write(QJsonObject{{QStringLiteral("summary"), summary}});
}

void JsonLinesReport::write(const QJsonObject &object)
{
    if (m_fd < 0)
        return;
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    if (WriteAll(m_fd, line.constData(), size_t(line.size())))
        return;
    // A report that cannot be written must not stop the conversions; it is said
    // once on stderr.
    const QString reason = SystemErrorText(errno);
    std::fprintf(stderr, "tarnwick: the report %s could not be written: %s.\n",
                 PrintableText(m_name).toLocal8Bit().constData(), reason.toLocal8Bit().constData());
    m_file.reset();
    m_fd = -1;
}
