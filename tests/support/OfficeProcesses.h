#pragma once

#include "util/ProcessInfo.h"

#include <QList>

// soffice.bin processes whose parent is `parent`.
inline QList<qint64> officesOf(qint64 parent)
{
    QList<qint64> offices;
    for (const qint64 pid : ProcessIds()) {
        const std::optional<ProcessStatus> status = ReadProcessStatus(pid);
        if (status && status->name == "soffice.bin" && status->parent == parent)
            offices << pid;
    }
    return offices;
}

// True while the process exists and has not ended.
inline bool isRunning(qint64 pid)
{
    const std::optional<ProcessStatus> status = ReadProcessStatus(pid);
    return status && status->state != 'Z' && status->state != 'X';
}
