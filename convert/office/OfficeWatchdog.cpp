#include "convert/office/OfficeWatchdog.h"

#include "util/ProcessInfo.h"

#include <algorithm>
#include <csignal>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Below this share of one core over the bound, the office counts as doing no work.
// A stopped office spends nothing; one blocked in a read, or waiting for a lock or
// an answer, spends a few ticks a minute on its timers (bench/README.md, "A hung
// office"); one at work, even on a loaded machine, spends tens of percent.
constexpr double kIdleShare = 0.02;

// How often a call's office is looked at: often enough that a hang is ended within
// a fraction of a second of its bound, seldom enough to cost nothing.
milliseconds sampleInterval(milliseconds idleBound)
{
    return std::clamp(idleBound / 10, milliseconds(100), milliseconds(500));
}

} // namespace

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

void OfficeWatchdog::arm(pid_t group, milliseconds idleBound, Clock::time_point ceiling)
{
    {
        const std::lock_guard lock(m_mutex);
        m_armed = true;
        ++m_call;
        m_group = group;
        m_start = Clock::now();
        m_idleBound = idleBound;
        m_ceiling = ceiling;
        m_samples.clear();
        m_verdict = Verdict::Answered;
    }
    m_changed.notify_all();
}

OfficeWatchdog::Verdict OfficeWatchdog::disarm()
{
    const std::lock_guard lock(m_mutex);
    m_armed = false;
    return std::exchange(m_verdict, Verdict::Answered);
}

OfficeWatchdog::Verdict OfficeWatchdog::judge(Clock::time_point now) const
{
    if (now >= m_ceiling)
        return Verdict::RanAway;
    // The first sample stands for the call's start: its work before that sample
    // is not counted, which can only make a working office look idler by one
    // interval's work.
    const Clock::time_point windowStart = now - m_idleBound;
    if (m_start > windowStart)
        return Verdict::Answered; // not waited the bound yet
    const Sample &first = m_samples.front();
    const qint64 spent = m_samples.back().cpuMs - first.cpuMs;
    return spent < kIdleShare * double(m_idleBound.count()) ? Verdict::Hung : Verdict::Answered;
}

void OfficeWatchdog::watchLoop()
{
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (!m_armed) {
            m_changed.wait(lock);
            continue;
        }
        const unsigned call = m_call;
        const Clock::time_point next = std::min(Clock::now() + sampleInterval(m_idleBound), m_ceiling);
        if (m_changed.wait_until(lock, next) == std::cv_status::no_timeout)
            continue; // re-armed, disarmed or quitting: look again
        if (!m_armed || call != m_call)
            continue;
        const pid_t group = m_group;
        lock.unlock();
        const qint64 cpuMs = UsageOfGroup(group).cpuMs;
        lock.lock();
        if (!m_armed || call != m_call)
            continue;
        const Clock::time_point now = Clock::now();
        const Sample sample{m_samples.empty() ? m_start : now, cpuMs};
        m_samples.push_back(sample);
        // Keeps the newest sample from before the window, the window's start.
        while (m_samples.size() > 2 && m_samples[1].at <= now - m_idleBound)
            m_samples.pop_front();
        const Verdict verdict = judge(now);
        if (verdict == Verdict::Answered)
            continue;
        // SIGKILL also ends a stopped process; the group takes any helper it started.
        if (::kill(-group, SIGKILL) != 0)
            ::kill(group, SIGKILL);
        m_verdict = verdict;
        m_armed = false;
    }
}

OfficeWatchdog::Watch::Watch(OfficeWatchdog &dog, pid_t group, milliseconds idleBound, Clock::time_point ceiling)
    : m_dog(group > 0 ? &dog : nullptr)
{
    // With no office running there is nothing that could hang.
    if (m_dog)
        m_dog->arm(group, idleBound, ceiling);
}

OfficeWatchdog::Watch::~Watch()
{
    finish();
}

OfficeWatchdog::Verdict OfficeWatchdog::Watch::finish()
{
    if (!m_dog)
        return Verdict::Answered;
    OfficeWatchdog *dog = std::exchange(m_dog, nullptr);
    return dog->disarm();
}
