#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace bench {

// Ticks every few milliseconds on the thread that makes it (the window's, in the
// program) and records how late each tick came: the longest time that thread
// handled no event, which is how long a window on it would have been frozen.
class StallMeter {
public:
    explicit StallMeter(int intervalMs = 5) : m_intervalMs(intervalMs)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }

    void start()
    {
        m_worstMs = 0;
        m_ticks = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    void stop() { m_timer.stop(); }

    double worstMs() const { return m_worstMs; }
    long ticks() const { return m_ticks; }
    long ticksLaterThan100Ms() const { return m_over100; }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        const double lateMs = (now - m_last) / 1e6 - m_intervalMs;
        m_worstMs = std::max(m_worstMs, lateMs);
        m_over100 += lateMs > 100 ? 1 : 0;
        m_last = now;
        ++m_ticks;
    }

    int m_intervalMs;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_worstMs = 0;
    long m_ticks = 0;
    long m_over100 = 0;
};

// The peer of StallMeter: a thread of its own that only sleeps 5 ms at a time and
// records how late it wakes. What it sees is the machine's doing (other work on
// the cores), not the program's.
class IdleThreadStalls {
public:
    IdleThreadStalls()
        : m_thread([this] {
              using namespace std::chrono;
              while (!m_stop) {
                  const auto before = steady_clock::now();
                  std::this_thread::sleep_for(milliseconds(5));
                  const double lateMs = duration<double, std::milli>(steady_clock::now() - before).count() - 5;
                  m_worstMs = std::max(m_worstMs.load(), lateMs);
                  m_over100 += lateMs > 100 ? 1 : 0;
              }
          })
    {
    }
    ~IdleThreadStalls() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    double worstMs() const { return m_worstMs; }
    long wakesLaterThan100Ms() const { return m_over100; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<double> m_worstMs{0};
    std::atomic<long> m_over100{0};
    std::thread m_thread;
};

} // namespace bench
