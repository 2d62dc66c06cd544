#include "util/StandardStreams.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool g_closed[3] = {false, false, false};

} // namespace

void OpenClosedStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        g_closed[fd] = true;
        // open() takes the lowest free descriptor, which is this one; no
        // O_CLOEXEC, so that the programs started from here find it too.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd && opened >= 0) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

bool StandardStreamWasClosed(int fd)
{
    return fd >= 0 && fd <= 2 && g_closed[fd];
}
