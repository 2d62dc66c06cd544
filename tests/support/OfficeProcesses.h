#pragma once

#include "util/ProcessInfo.h"

#include <QList>

// soffice.bin processes that `parent` started: its children, or in their sandbox
// its grandchildren's children.
inline QList<qint64> officesOf(qint64 parent)
{
    QList<qint64> offices;
    for (const qint64 pid : ProcessIds()) {
        std::optional<ProcessStatus> status = ReadProcessStatus(pid);
        if (!status || status->name != "soffice.bin")
            continue;
        for (int up = 0; up < 3 && status; ++up) {
            if (status->parent == parent) {
                offices << pid;
                break;
            }
            status = ReadProcessStatus(status->parent);
        }
    }
    return offices;
}

// True while the process exists and has not ended.
inline bool isRunning(qint64 pid)
{
    const std::optional<ProcessStatus> status = ReadProcessStatus(pid);
    return status && status->state != 'Z' && status->state != 'X';
}
