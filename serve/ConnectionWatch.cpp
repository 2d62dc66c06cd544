#include "serve/ConnectionWatch.h"

#include "serve/ServiceLog.h"
#include "util/AppError.h"
#include "util/SystemError.h"

#include <QJsonObject>
#include <algorithm>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kTickMs = 200;

} // namespace

struct ConnectionWatch::Connection {
    enum class Phase { Headers, Body, Waiting, Answering };

    quint64 id = 0;
    int fd = -1;
    Phase phase = Phase::Headers;
    TimePoint since;
    qint64 bytes = 0;
    bool upload = false; // its body is let in and arriving
    TimePoint uploadSince;
    QString cutReason;
    bool served = false; // a request was answered on it: an idle kept-alive connection
    bool inEpoll = false;
    std::function<void()> hungUp;
    std::function<void()> late;
    std::optional<TimePoint> deadline;
};

ConnectionWatch::ConnectionWatch(Limits limits, const Clock &clock) : m_limits(limits), m_clock(clock)
{
    // Without its epoll set or its wake-up pipe the watch could neither wait nor be
    // ended: the service does not start rather than run unwatched.
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = 0;
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_epoll < 0 || ::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0
        || ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake[0], &event) != 0) {
        const int error = errno;
        for (const int fd : {m_wake[0], m_wake[1], m_epoll})
            if (fd >= 0)
                ::close(fd);
        throw AppError(QStringLiteral("The service cannot watch its connections: %1.").arg(SystemErrorText(error)));
    }
    m_thread = std::thread([this] { run(); });
}

ConnectionWatch::~ConnectionWatch()
{
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    const char byte = 1;
    [[maybe_unused]] const ssize_t wrote = ::write(m_wake[1], &byte, 1);
    m_thread.join();
    for (const auto &[id, connection] : m_connections)
        delete connection;
    for (const int fd : {m_wake[0], m_wake[1], m_epoll})
        if (fd >= 0)
            ::close(fd);
}

ConnectionWatch::Connection *ConnectionWatch::opened(int fd)
{
    auto *connection = new Connection;
    connection->fd = fd;
    connection->since = m_clock.now();
    const std::lock_guard lock(m_mutex);
    connection->id = ++m_lastId;
    m_connections.emplace(connection->id, connection);
    return connection;
}

void ConnectionWatch::closed(Connection *connection)
{
    std::unique_lock lock(m_mutex);
    m_callbackDone.wait(lock, [&] { return !inCallback(connection); });
    unwatch(*connection);
    m_connections.erase(connection->id);
    delete connection;
}

void ConnectionWatch::headersRead(Connection *connection)
{
    const std::lock_guard lock(m_mutex);
    connection->phase = Connection::Phase::Body;
    connection->since = m_clock.now();
    connection->bytes = 0;
}

void ConnectionWatch::uploadStarts(Connection *connection)
{
    const std::lock_guard lock(m_mutex);
    const TimePoint now = m_clock.now();
    connection->phase = Connection::Phase::Body;
    connection->since = now;
    connection->uploadSince = now;
    connection->bytes = 0;
    connection->upload = true;
    const auto uploads = std::count_if(m_connections.begin(), m_connections.end(), [](const auto &entry) {
        return entry.second->upload && entry.second->phase == Connection::Phase::Body && entry.second->cutReason.isEmpty();
    });
    if (uploads > m_limits.uploads)
        cutSlowestUpload(*connection, now);
}

void ConnectionWatch::cutSlowestUpload(const Connection &except, TimePoint now)
{
    Connection *slowest = nullptr;
    double slowestRate = 0;
    for (const auto &[id, connection] : m_connections) {
        if (connection == &except || !connection->upload || connection->phase != Connection::Phase::Body
            || !connection->cutReason.isEmpty())
            continue;
        const double seconds = std::chrono::duration<double>(now - connection->uploadSince).count();
        const double rate = double(connection->bytes) / std::max(seconds, 1.0);
        if (!slowest || rate < slowestRate) {
            slowest = connection;
            slowestRate = rate;
        }
    }
    if (!slowest)
        return;
    ++m_cutForRoom;
    cut(*slowest, QStringLiteral("%1 uploads were under way, the most the service takes at once; this one was "
                                 "the slowest.")
                      .arg(m_limits.uploads));
}

ConnectionWatch::Uploads ConnectionWatch::uploads() const
{
    const std::lock_guard lock(m_mutex);
    Uploads uploads;
    uploads.cutForRoom = m_cutForRoom;
    for (const auto &[id, connection] : m_connections) {
        if (connection->upload && connection->phase == Connection::Phase::Body && connection->cutReason.isEmpty()) {
            ++uploads.count;
            uploads.bytes += connection->bytes;
        }
    }
    return uploads;
}

void ConnectionWatch::bodyRead(Connection *connection, qint64 bytes)
{
    const std::lock_guard lock(m_mutex);
    connection->bytes += bytes;
}

void ConnectionWatch::requestDone(Connection *connection)
{
    const std::lock_guard lock(m_mutex);
    connection->phase = Connection::Phase::Headers;
    connection->since = m_clock.now();
    connection->served = true;
    connection->upload = false;
}

QString ConnectionWatch::cutReason(Connection *connection)
{
    const std::lock_guard lock(m_mutex);
    return connection->cutReason;
}

void ConnectionWatch::waiting(Connection *connection, std::function<void()> hungUp,
                              std::optional<TimePoint> deadline, std::function<void()> late)
{
    const std::lock_guard lock(m_mutex);
    connection->phase = Connection::Phase::Waiting;
    connection->hungUp = std::move(hungUp);
    connection->late = std::move(late);
    connection->deadline = deadline;
    // No events asked for: a hang-up and an error are always told, and the bytes
    // of a half-closed client's end of file are not a reason to wake.
    epoll_event event{};
    event.events = 0;
    event.data.u64 = connection->id;
    connection->inEpoll = ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, connection->fd, &event) == 0;
}

void ConnectionWatch::waited(Connection *connection)
{
    std::unique_lock lock(m_mutex);
    m_callbackDone.wait(lock, [&] { return !inCallback(connection); });
    unwatch(*connection);
    connection->phase = Connection::Phase::Answering;
}

void ConnectionWatch::answering(Connection *connection)
{
    const std::lock_guard lock(m_mutex);
    connection->phase = Connection::Phase::Answering;
}

void ConnectionWatch::stopping(std::chrono::milliseconds grace)
{
    const std::lock_guard lock(m_mutex);
    m_stopDeadline = m_clock.now() + grace;
}

void ConnectionWatch::unwatch(Connection &connection)
{
    if (connection.inEpoll)
        ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, connection.fd, nullptr);
    connection.inEpoll = false;
    connection.hungUp = nullptr;
    connection.late = nullptr;
    connection.deadline.reset();
}

void ConnectionWatch::cut(Connection &connection, const QString &reason)
{
    if (!connection.cutReason.isEmpty())
        return;
    connection.cutReason = reason;
    // A request cut off in its body is logged with the request; an idle kept-alive
    // connection that is closed is not worth a line.
    if (connection.phase == Connection::Phase::Headers && !connection.served)
        m_unlogged.push_back(reason);
    // The library sees the end of file and closes the connection itself.
    ::shutdown(connection.fd, SHUT_RDWR);
}

bool ConnectionWatch::inCallback(const Connection *connection) const
{
    return std::find(m_inCallback.begin(), m_inCallback.end(), connection) != m_inCallback.end();
}

void ConnectionWatch::runCallback(Connection &connection, std::function<void()> &callback,
                                  std::unique_lock<std::mutex> &lock)
{
    const std::function<void()> call = std::exchange(callback, nullptr);
    if (!call)
        return;
    m_inCallback.push_back(&connection);
    lock.unlock();
    call();
    lock.lock();
    m_inCallback.erase(std::find(m_inCallback.begin(), m_inCallback.end(), &connection));
    m_callbackDone.notify_all();
}

void ConnectionWatch::run()
{
    epoll_event events[64];
    for (;;) {
        const int ready = ::epoll_wait(m_epoll, events, 64, kTickMs);
        {
            const std::lock_guard lock(m_mutex);
            if (m_ending)
                return;
        }
        handleHangUps(events, ready);
        checkTimes();
    }
}

void ConnectionWatch::handleHangUps(const epoll_event *events, int ready)
{
    std::unique_lock lock(m_mutex);
    for (int i = 0; i < ready; ++i) {
        if (events[i].data.u64 == 0) {
            char drained[16];
            while (::read(m_wake[0], drained, sizeof drained) > 0) {
            }
            continue;
        }
        // The connection may have gone since epoll_wait returned.
        const auto found = m_connections.find(events[i].data.u64);
        if (found == m_connections.end() || !(events[i].events & (EPOLLHUP | EPOLLERR)))
            continue;
        Connection &connection = *found->second;
        std::function<void()> hungUp = std::move(connection.hungUp);
        unwatch(connection);
        runCallback(connection, hungUp, lock);
    }
}

void ConnectionWatch::checkTimes()
{
    using namespace std::chrono;
    std::unique_lock lock(m_mutex);
    const TimePoint now = m_clock.now();
    const bool stopped = m_stopDeadline && now >= *m_stopDeadline;
    std::vector<quint64> late;
    for (const auto &[id, connection] : m_connections) {
        const double seconds = duration<double>(now - connection->since).count();
        switch (connection->phase) {
        case Connection::Phase::Headers:
            if (stopped)
                cut(*connection, QStringLiteral("The service is stopping."));
            else if (now - connection->since > m_limits.headers)
                cut(*connection, QStringLiteral("The request's headers did not come within %1 seconds.")
                                     .arg(duration<double>(m_limits.headers).count()));
            break;
        case Connection::Phase::Body:
            if (stopped)
                cut(*connection, QStringLiteral("The service stopped before the body came."));
            else if (now - connection->since > m_limits.headers
                     && double(connection->bytes) < seconds * double(m_limits.minimumBytesPerSecond))
                cut(*connection, QStringLiteral("The body came slower than %1 bytes a second.")
                                     .arg(m_limits.minimumBytesPerSecond));
            else if (connection->upload && now - connection->uploadSince > m_limits.uploadTime)
                cut(*connection, QStringLiteral("The body did not come whole within %1 seconds.")
                                     .arg(duration<double>(m_limits.uploadTime).count()));
            break;
        case Connection::Phase::Waiting:
            if (connection->deadline && now >= *connection->deadline)
                late.push_back(id);
            break;
        case Connection::Phase::Answering: break;
        }
    }
    for (const quint64 id : late) {
        // Looked up again: it may have closed during a callback before.
        const auto found = m_connections.find(id);
        if (found == m_connections.end() || !found->second->deadline)
            continue;
        std::function<void()> call = std::move(found->second->late);
        found->second->deadline.reset();
        runCallback(*found->second, call, lock);
    }
    // Written without the lock: a slow log must not hold up the connections.
    const std::vector<QString> unlogged = std::exchange(m_unlogged, {});
    lock.unlock();
    for (const QString &reason : unlogged)
        LogLine({{QStringLiteral("event"), QStringLiteral("cut-off")}, {QStringLiteral("reason"), reason}});
}
