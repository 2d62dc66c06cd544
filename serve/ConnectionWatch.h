#pragma once

#include "util/Clock.h"

#include <QString>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

// Watches the service's connections from a thread of its own, so that no
// connection needs a thread while it waits:
//
// - a client must send a request's headers within a bound, counted from its
//   connection or from the end of its last answer, and then the body at an
//   average of at least a minimum rate, whole within a longest time; one that
//   does not is cut off (its socket shut down, which the HTTP library sees as
//   the client closing);
// - uploads under way are bounded in number: one more than the bound cuts off
//   the slowest of the others (the lowest average rate), so that slow uploads
//   cannot keep a fast one out;
// - while a request waits (for a place, for an office), its socket is watched for
//   the client hanging up, and a deadline may be set;
// - when the service stops, uploads still arriving are cut off after a grace.
//
// A client that only shuts down its sending side (a half-close) has not hung up:
// it still reads its answer. Over TCP a client that closes its connection looks
// the same until its answer is written.
//
// Every bound is measured on the clock it is given: the steady clock, or in a test
// one moved by hand, followed by checkTimes().
class ConnectionWatch {
public:
    using TimePoint = Clock::TimePoint;
    struct Limits {
        std::chrono::milliseconds headers{10000};
        qint64 minimumBytesPerSecond = 1024;
        std::chrono::milliseconds uploadTime{600000}; // for a whole body
        int uploads = 64;                             // under way at once
    };
    struct Uploads {
        int count = 0;
        qint64 bytes = 0;   // received by the uploads under way
        qint64 cutForRoom = 0; // uploads cut off to let another in, all told
    };
    struct Connection;

    // Throws AppError when the system gives no means to watch.
    explicit ConnectionWatch(Limits limits, const Clock &clock = Clock::steady());
    ~ConnectionWatch();
    ConnectionWatch(const ConnectionWatch &) = delete;
    ConnectionWatch &operator=(const ConnectionWatch &) = delete;

    // The connection's life, from the HTTP library's threads.
    Connection *opened(int fd);
    void closed(Connection *connection);
    void headersRead(Connection *connection);
    // The request's body is let in: an upload from now on, until its answer.
    void uploadStarts(Connection *connection);
    void bodyRead(Connection *connection, qint64 bytes);
    // Back to waiting for the next request's headers (the answer is out).
    void requestDone(Connection *connection);
    // Why the watch cut the connection off; empty when it did not.
    QString cutReason(Connection *connection);
    Uploads uploads() const;

    // While the request waits: `hungUp` runs once if the client hangs up, and
    // `late` once the deadline (if any) passes first. Both run on the watch's
    // thread, never after waited() has returned.
    void waiting(Connection *connection, std::function<void()> hungUp, std::optional<TimePoint> deadline = {},
                 std::function<void()> late = {});
    void waited(Connection *connection);
    // The answer goes out: no bound of the watch's applies until it is out.
    void answering(Connection *connection);

    // The service stops: uploads and requests still arriving after `grace` are cut off.
    void stopping(std::chrono::milliseconds grace);

    // Cuts off what is past its bound and runs what is late, by the clock's time
    // now: the watch's thread does so a few times a second, a test after moving
    // its clock, to know that the check has been made.
    void checkTimes();

private:
    void run();
    void handleHangUps(const struct epoll_event *events, int ready);
    void cut(Connection &connection, const QString &reason);
    // Cuts off the upload with the lowest average rate but `except`.
    void cutSlowestUpload(const Connection &except, Clock::TimePoint now);
    void unwatch(Connection &connection);
    // Runs the callback without the lock; closed() and waited() wait for it.
    bool inCallback(const Connection *connection) const;
    void runCallback(Connection &connection, std::function<void()> &callback, std::unique_lock<std::mutex> &lock);

    const Limits m_limits;
    const Clock &m_clock;
    int m_epoll = -1;
    int m_wake[2] = {-1, -1};
    mutable std::mutex m_mutex;
    std::condition_variable m_callbackDone;
    std::unordered_map<quint64, Connection *> m_connections;
    quint64 m_lastId = 0;
    qint64 m_cutForRoom = 0;
    // Connections whose callback runs now, on the watch's thread or a test's.
    std::vector<Connection *> m_inCallback;
    std::optional<TimePoint> m_stopDeadline;
    std::vector<QString> m_unlogged; // cut-offs to log once the lock is let go
    bool m_ending = false;
    std::thread m_thread;
};
