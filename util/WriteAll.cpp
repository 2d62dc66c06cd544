#include "util/WriteAll.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <unistd.h>

namespace {

// One write: the number of bytes taken, or -1 with errno set.
ssize_t writeSome(int fd, const char *data, std::size_t size)
{
    for (;;) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done == 0) {
            errno = ENOSPC;
            return -1;
        }
        return done;
    }
}

} // namespace

bool WriteAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t done = writeSome(fd, data, size);
        if (done < 0)
            return false;
        data += done;
        size -= std::size_t(done);
    }
    return true;
}

bool WriteAllUnlessStopped(int fd, const char *data, std::size_t size, int stop)
{
    while (size > 0) {
        pollfd ready[2] = {{fd, POLLOUT, 0}, {stop, POLLIN, 0}};
        if (::poll(ready, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        // A descriptor that takes bytes is written to even after a stop: the
        // report's summary still reaches a file.
        if ((ready[0].revents & (POLLOUT | POLLERR | POLLHUP | POLLNVAL)) == 0) {
            errno = EINTR;
            return false;
        }
        const ssize_t done = writeSome(fd, data, std::min<std::size_t>(size, PIPE_BUF));
        if (done < 0)
            return false;
        data += done;
        size -= std::size_t(done);
    }
    return true;
}
