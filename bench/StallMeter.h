#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

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

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_worstMs = std::max(m_worstMs, (now - m_last) / 1e6 - m_intervalMs);
        m_last = now;
        ++m_ticks;
    }

    int m_intervalMs;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_worstMs = 0;
    long m_ticks = 0;
};

} // namespace bench
