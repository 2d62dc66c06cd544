#pragma once

#include "util/SystemError.h"

#include <sys/types.h>

// A process held by a pidfd: signalled and waited for as that very process, never
// as whichever process has its id by then.
class ProcessHandle {
public:
    // A handle that holds nothing (valid() false) when the process has gone already.
    explicit ProcessHandle(pid_t pid);

    bool valid() const { return m_fd.get() >= 0; }
    pid_t pid() const { return m_pid; }
    // Readable once the process has ended.
    int descriptor() const { return m_fd.get(); }

    // True when the process has ended (or was gone before it was held).
    bool ended() const;
    // True while the process is stopped (SIGSTOP, SIGTSTP, a debugger) and so
    // answers nothing.
    bool stopped() const;
    // Sends the signal; false with errno set when it could not be sent (ESRCH once
    // the process has ended).
    bool signal(int number) const;

    enum class Wait { Ended, TimedOut, Interrupted };
    // Waits for the process to end, for at most `milliseconds` (-1: no bound), or
    // until `alsoReadable` (when >= 0) becomes readable.
    Wait waitForEnd(int milliseconds, int alsoReadable = -1) const;

private:
    pid_t m_pid;
    FileDescriptor m_fd;
};
