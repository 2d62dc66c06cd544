#include "serve/ServiceLog.h"

#include "util/PrintableName.h"
#include "util/WriteAll.h"

#include <QDateTime>
#include <unistd.h>

void LogLine(QJsonObject fields)
{
    // Keys are written in name order; "time" is simply one of them.
    fields[QStringLiteral("time")] = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    const QByteArray line = JsonLine(fields);
    // Nothing to be done when stderr is gone; the service goes on.
    [[maybe_unused]] const bool written = WriteAll(STDERR_FILENO, line.constData(), size_t(line.size()));
}
