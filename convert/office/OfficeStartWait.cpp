#include "convert/office/OfficeStartWait.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kStepMs = 100;

} // namespace

OfficeStartWait::OfficeStartWait(const QString &pipeFolder)
    : m_folder(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    if (m_folder.get() >= 0
        && ::inotify_add_watch(m_folder.get(), QFile::encodeName(pipeFolder).constData(), IN_CREATE | IN_MOVED_TO)
               < 0)
        m_folder.reset();
}

void OfficeStartWait::watchProcess(qint64 pid)
{
    m_process.reset(pid > 0 ? int(::syscall(SYS_pidfd_open, pid_t(pid), 0)) : -1);
}

void OfficeStartWait::wait(int milliseconds)
{
    // Without one of the events, a step: nothing else would end the wait on that one.
    if (m_folder.get() < 0 || m_process.get() < 0)
        milliseconds = std::min(milliseconds, kStepMs);
    pollfd events[2] = {{m_folder.get(), POLLIN, 0}, {m_process.get(), POLLIN, 0}};
    while (::poll(events, 2, milliseconds) < 0 && errno == EINTR) {
    }
    if ((events[0].revents & POLLIN) != 0) {
        char buffer[4096];
        while (::read(m_folder.get(), buffer, sizeof buffer) > 0) {
        }
    }
}
