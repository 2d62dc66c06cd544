#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <sys/types.h>
#include <thread>

// Every call into the office waits for its answer, so an office that hangs (or is
// stopped) would hold the program for ever. The watchdog ends the office's process
// group when one call has not returned in time; the call then fails at once with a
// lost connection, and the next file starts a fresh office.
class OfficeWatchdog {
public:
    OfficeWatchdog();
    ~OfficeWatchdog();
    OfficeWatchdog(const OfficeWatchdog &) = delete;
    OfficeWatchdog &operator=(const OfficeWatchdog &) = delete;

    // Watches one call: from construction to finish() (or destruction) the office
    // `group` has `timeout` to answer.
    class Watch {
    public:
        Watch(OfficeWatchdog &dog, pid_t group, std::chrono::milliseconds timeout);
        ~Watch();
        Watch(const Watch &) = delete;
        Watch &operator=(const Watch &) = delete;
        // Ends the watch; true when the time ran out and the office was ended.
        bool finish();

    private:
        OfficeWatchdog *m_dog;
    };

private:
    void arm(pid_t group, std::chrono::milliseconds timeout);
    bool disarm();
    void watchLoop();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
    pid_t m_group = 0;
    bool m_expired = false;
    bool m_quit = false;
    std::thread m_thread;
};
