#pragma once

#include <chrono>

// The time that cut-offs, waits in line, idle exits and grace periods are measured
// on. The program reads the system's steady clock; a test gives a clock it moves
// by hand, so that "after N seconds" and "not before" are checked without waiting.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;

    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;

    // The system's steady clock, shared by every user.
    static const Clock &steady();
};
