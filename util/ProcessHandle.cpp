#include "util/ProcessHandle.h"

#include "util/ProcessInfo.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

ProcessHandle::ProcessHandle(pid_t pid)
    : m_pid(pid), m_fd(pid > 0 ? int(::syscall(SYS_pidfd_open, pid, 0)) : -1)
{
}

bool ProcessHandle::ended() const
{
    pollfd end{m_fd.get(), POLLIN, 0};
    return !valid() || ::poll(&end, 1, 0) != 0;
}

bool ProcessHandle::stopped() const
{
    const std::optional<ProcessStatus> status = ReadProcessStatus(m_pid);
    // Read by id, so it counts only while the pidfd says that process still runs.
    return status && (status->state == 'T' || status->state == 't') && !ended();
}

bool ProcessHandle::signal(int number) const
{
    if (!valid()) {
        errno = ESRCH;
        return false;
    }
    return ::syscall(SYS_pidfd_send_signal, m_fd.get(), number, nullptr, 0) == 0;
}

ProcessHandle::Wait ProcessHandle::waitForEnd(int milliseconds, int alsoReadable) const
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (ended())
            return Wait::Ended;
        int left = -1;
        if (milliseconds >= 0) {
            left = int(std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count());
            if (left <= 0)
                return Wait::TimedOut;
        }
        pollfd waits[2] = {{m_fd.get(), POLLIN, 0}, {alsoReadable, POLLIN, 0}};
        const int ready = ::poll(waits, alsoReadable >= 0 ? 2 : 1, left);
        if (ready < 0 && errno != EINTR)
            return Wait::TimedOut;
        if (ready > 0 && (waits[1].revents & POLLIN) != 0 && (waits[0].revents & POLLIN) == 0)
            return Wait::Interrupted;
    }
}
