#include "util/ProcessInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

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
    // Counted from the state (field 3 of proc(5)): parent 4, group 5, utime 14,
    // stime 15, rss 24 (in pages).
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    const auto field = [&](int number) { return fields.value(number - 3).toLongLong(); };
    static const qint64 ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    static const qint64 pageSize = ::sysconf(_SC_PAGESIZE);
    return ProcessStatus{line.mid(open + 1, close - open - 1), line.at(close + 2), field(4), field(5),
                         (field(14) + field(15)) * 1000 / ticksPerSecond, field(24) * pageSize};
}

GroupUsage UsageOfGroup(qint64 group)
{
    return group > 0 ? UsageOfProcesses(ProcessIds(), group) : GroupUsage{};
}

QList<qint64> ProcessesOfGroup(qint64 group)
{
    QList<qint64> members;
    for (const qint64 pid : ProcessIds()) {
        const std::optional<ProcessStatus> status = ReadProcessStatus(pid);
        if (status && status->group == group)
            members << pid;
    }
    return members;
}

GroupUsage UsageOfProcesses(const QList<qint64> &processes, qint64 group)
{
    GroupUsage usage;
    for (const qint64 pid : processes) {
        const std::optional<ProcessStatus> status = ReadProcessStatus(pid);
        if (!status || status->group != group)
            continue;
        ++usage.processes;
        usage.cpuMs += status->cpuMs;
        usage.residentBytes += status->residentBytes;
    }
    return usage;
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
