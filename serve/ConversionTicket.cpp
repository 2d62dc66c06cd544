#include "serve/ConversionTicket.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

double secondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

} // namespace

ConversionTicket::ConversionTicket(QString sourcePath, QString targetPath)
    : source(std::move(sourcePath)), target(std::move(targetPath))
{
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        m_wake[0] = m_wake[1] = -1;
}

ConversionTicket::~ConversionTicket()
{
    for (const int fd : m_wake)
        if (fd >= 0)
            ::close(fd);
}

bool ConversionTicket::isCancelled() const
{
    const std::lock_guard lock(m_mutex);
    return m_cancelled;
}

void ConversionTicket::startConverting(ServiceJob *job)
{
    const std::lock_guard lock(m_mutex);
    m_job = job;
    m_startedAt = Clock::now();
}

ConversionResult ConversionTicket::finish(ConversionResult result)
{
    ConversionResult finished;
    {
        const std::lock_guard lock(m_mutex);
        const Clock::time_point now = Clock::now();
        const Clock::time_point started = m_job ? m_startedAt : now;
        result.queuedSeconds = secondsBetween(m_queuedAt, started);
        result.convertingSeconds = secondsBetween(started, now);
        m_result = std::move(result);
        finished = m_result;
        m_done = true;
        m_job = nullptr;
    }
    const char byte = 1;
    [[maybe_unused]] const ssize_t wrote = ::write(m_wake[1], &byte, 1);
    return finished;
}

std::optional<ConversionResult> ConversionTicket::waitWatching(int connection)
{
    // POLLRDHUP: the client closed its end; a request's body is read whole by now,
    // so nothing else may come from it while it waits.
    pollfd watched[2] = {{m_wake[0], POLLIN, 0}, {connection, POLLRDHUP, 0}};
    for (;;) {
        {
            const std::lock_guard lock(m_mutex);
            if (m_done)
                return m_result;
        }
        if (::poll(watched, connection >= 0 ? 2 : 1, m_wake[0] >= 0 ? -1 : 100) < 0 && errno != EINTR)
            return std::nullopt;
        if (watched[1].revents & (POLLRDHUP | POLLHUP | POLLERR)) {
            const std::lock_guard lock(m_mutex);
            if (m_done)
                return m_result;
            return std::nullopt;
        }
    }
}
