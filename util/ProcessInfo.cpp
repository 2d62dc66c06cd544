#include "util/ProcessInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

std::optional<ProcessStatus> ReadProcessStatus(qint64 pid)
{
    if (pid <= 0)
        return std::nullopt;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    // "pid (name) S ppid ...": the name may hold spaces and ")", so the fields
    // after it are counted from the last ")".
    const QByteArray line = stat.readAll();
    const qsizetype open = line.indexOf('(');
    const qsizetype close = line.lastIndexOf(')');
    if (open < 0 || close < open || close + 2 >= line.size())
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    return ProcessStatus{line.mid(open + 1, close - open - 1), line.at(close + 2), fields.value(1).toLongLong()};
}

QList<qint64> ProcessIds()
{
    QList<qint64> ids;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (isPid)
            ids << pid;
    }
    return ids;
}

QStringList OpenFilesOf(qint64 pid)
{
    QStringList targets;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &fd : fds.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        targets << QFileInfo(fds.filePath(fd)).symLinkTarget();
    return targets;
}
