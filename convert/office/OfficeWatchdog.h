#pragma once

#include <QtGlobal>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <sys/types.h>
#include <thread>

// Every call into the office waits for its answer, so an office that hangs (or is
// stopped) would hold the program for ever. The watchdog ends the office's process
// group when one call has waited a bound while the group did (almost) no work: no
// CPU time spent, as when it is stopped, deadlocked or waiting on something that
// never comes. An office that keeps working is left to work, up to a ceiling after
// which it is ended as a runaway. Either way the call then fails at once with a lost
// connection, and the next file starts a fresh office.
class OfficeWatchdog {
public:
    enum class Verdict {
        Answered, // the call ended on its own
        Hung,     // ended: no work for the bound
        RanAway   // ended: still working at the ceiling
    };

    OfficeWatchdog();
    ~OfficeWatchdog();
    OfficeWatchdog(const OfficeWatchdog &) = delete;
    OfficeWatchdog &operator=(const OfficeWatchdog &) = delete;

    // Watches one call, from construction to finish() (or destruction), of the
    // office whose process group is `group`.
    class Watch {
    public:
        Watch(OfficeWatchdog &dog, pid_t group, std::chrono::milliseconds idleBound,
              std::chrono::steady_clock::time_point ceiling);
        ~Watch();
        Watch(const Watch &) = delete;
        Watch &operator=(const Watch &) = delete;
        // Ends the watch: whether the office was ended, and why.
        Verdict finish();

    private:
        OfficeWatchdog *m_dog;
    };

private:
    struct Sample {
        std::chrono::steady_clock::time_point at;
        qint64 cpuMs;
    };

    void arm(pid_t group, std::chrono::milliseconds idleBound, std::chrono::steady_clock::time_point ceiling);
    Verdict disarm();
    void watchLoop();
    // Called with the lock held, after a new sample: the verdict on the call so far.
    Verdict judge(std::chrono::steady_clock::time_point now) const;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_armed = false;
    unsigned m_call = 0; // counts the calls watched, so that a sample is never given to the next
    pid_t m_group = 0;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::milliseconds m_idleBound{0};
    std::chrono::steady_clock::time_point m_ceiling;
    std::deque<Sample> m_samples; // the call's CPU time, oldest first, none older than needed
    Verdict m_verdict = Verdict::Answered;
    bool m_quit = false;
    std::thread m_thread;
};
