#include "serve/ConversionTicket.h"

#include <utility>

namespace {

double secondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

} // namespace

ConversionTicket::ConversionTicket(QString sourcePath, QString targetPath, std::function<void()> done)
    : source(std::move(sourcePath)), target(std::move(targetPath)), m_whenDone(std::move(done))
{
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
    if (m_whenDone)
        std::exchange(m_whenDone, nullptr)();
    return finished;
}

std::optional<ConversionResult> ConversionTicket::result() const
{
    const std::lock_guard lock(m_mutex);
    if (!m_done)
        return std::nullopt;
    return m_result;
}
