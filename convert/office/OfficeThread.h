#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

// The one thread that makes every call into an office. Its UNO objects are then
// only ever used from one thread, and the thread that asks for a call — the
// window's — goes on handling its events while the office works, however long that
// takes: a load of tens of seconds, or an office that hangs until the watchdog
// ends it.
//
// A QThread running its own event loop, in which the tasks arrive: the office
// process is started from this thread, and its QProcess learns there that the
// office has ended (and reaps it). The thread lives as long as this object; the
// office is started with a parent-death signal bound to it.
class OfficeThread {
public:
    OfficeThread();
    // Runs what is still queued, then ends the thread.
    ~OfficeThread();
    OfficeThread(const OfficeThread &) = delete;
    OfficeThread &operator=(const OfficeThread &) = delete;

    enum class Waiting {
        // The application's main thread handles all its events (user input included)
        // until the task has run; any other thread just waits.
        HandlingEvents,
        // Nothing else happens on the calling thread meanwhile.
        Blocked
    };

    // Runs `task` on the office thread and returns once it has run, throwing what it
    // threw. Called on the office thread itself, runs it at once.
    void run(const std::function<void()> &task, Waiting waiting = Waiting::HandlingEvents);
    // Queues `task` and returns at once.
    void post(std::function<void()> task);
    // True from the moment run() is asked until its task has run.
    bool isBusy() const { return m_calls.load() > 0; }
    bool isCurrent() const { return QThread::currentThread() == &m_thread; }

private:
    std::atomic<int> m_calls{0};
    QThread m_thread;
    // Lives in m_thread: the tasks are delivered to it.
    std::unique_ptr<QObject> m_receiver;
};
