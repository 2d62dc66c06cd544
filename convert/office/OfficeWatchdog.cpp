#include "convert/office/OfficeWatchdog.h"

#include <csignal>
#include <utility>

OfficeWatchdog::OfficeWatchdog()
    : m_thread([this] { watchLoop(); })
{
}

OfficeWatchdog::~OfficeWatchdog()
{
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void OfficeWatchdog::arm(pid_t group, std::chrono::milliseconds timeout)
{
    {
        const std::lock_guard lock(m_mutex);
        m_group = group;
        m_deadline = std::chrono::steady_clock::now() + timeout;
        m_expired = false;
    }
    m_changed.notify_all();
}

bool OfficeWatchdog::disarm()
{
    const std::lock_guard lock(m_mutex);
    m_deadline.reset();
    const bool expired = m_expired;
    m_expired = false;
    return expired;
}

void OfficeWatchdog::watchLoop()
{
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (!m_deadline) {
            m_changed.wait(lock);
            continue;
        }
        if (m_changed.wait_until(lock, *m_deadline) == std::cv_status::no_timeout)
            continue; // re-armed, disarmed or quitting: look again
        if (!m_deadline || std::chrono::steady_clock::now() < *m_deadline)
            continue;
        // SIGKILL also ends a stopped process; the group takes any helper it started.
        if (::kill(-m_group, SIGKILL) != 0)
            ::kill(m_group, SIGKILL);
        m_expired = true;
        m_deadline.reset();
    }
}

OfficeWatchdog::Watch::Watch(OfficeWatchdog &dog, pid_t group, std::chrono::milliseconds timeout)
    : m_dog(group > 0 ? &dog : nullptr)
{
    // With no office running there is nothing that could hang.
    if (m_dog)
        m_dog->arm(group, timeout);
}

OfficeWatchdog::Watch::~Watch()
{
    finish();
}

bool OfficeWatchdog::Watch::finish()
{
    if (!m_dog)
        return false;
    OfficeWatchdog *dog = std::exchange(m_dog, nullptr);
    return dog->disarm();
}
