#pragma once

#include "util/SystemError.h"

#include <QString>

// The waits of an office's start, on the events themselves rather than in steps:
// its pipe's socket appearing in the pipe's folder (inotify), or its process ending
// (a pidfd). Where either cannot be had, the wait is the step it is given.
class OfficeStartWait {
public:
    // Watches the folder from now on: make it before the office starts.
    explicit OfficeStartWait(const QString &pipeFolder);
    // The process to watch, after each start of the office.
    void watchProcess(qint64 pid);
    // Returns once something was made in the folder, the process has ended, or
    // `milliseconds` have passed.
    void wait(int milliseconds);

private:
    FileDescriptor m_folder;
    FileDescriptor m_process;
};
