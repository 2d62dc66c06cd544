#pragma once

#include "util/Clock.h"

#include <atomic>

// A clock that stands still until the test moves it; readable from any thread.
class ManualClock final : public Clock {
public:
    TimePoint now() const override { return TimePoint(Duration(m_ticks.load())); }
    void advance(Duration by) { m_ticks += by.count(); }

private:
    // Far from zero, so that "now minus a bound" is still a time of this clock.
    std::atomic<Duration::rep> m_ticks{std::chrono::duration_cast<Duration>(std::chrono::hours(1000)).count()};
};
