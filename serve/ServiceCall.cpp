#include "serve/ServiceCall.h"

#include <QList>
#include <cerrno>
#include <chrono>
#include <sys/socket.h>
#include <poll.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

class Call {
public:
    Call(int fd, const std::function<Peer()> &look, int stop, const std::function<int()> &caught,
         const ServiceCallLimits &limits)
        : m_fd(fd), m_look(look), m_stop(stop), m_caught(caught), m_limits(limits)
    {
    }

    ServiceAnswer run(const QByteArray &head, const QByteArray &body)
    {
        const QByteArray request = head + "\r\nContent-Length: " + QByteArray::number(body.size())
                                   + "\r\nExpect: 100-continue\r\n\r\n";
        if (!send(request, -1))
            return m_answer;
        // The service's first words: "100 Continue", or its answer already.
        if (!readHead(m_limits.placeMs))
            return m_answer;
        if (status() == 100) {
            m_received.remove(0, m_headEnd + 4);
            m_headEnd = -1;
            if (!send(body, m_limits.stallMs) || !readHead(-1))
                return m_answer;
        }
        if (!readBody())
            return m_answer;
        m_answer.end = ServiceAnswer::End::Answered;
        return m_answer;
    }

private:
    enum class Waited { Ready, Quiet, Over };

    // `milliseconds` from now; -1: never.
    static Clock::time_point until(int milliseconds)
    {
        return milliseconds >= 0 ? Clock::now() + std::chrono::milliseconds(milliseconds) : Clock::time_point::max();
    }

    int status() const { return m_received.startsWith("HTTP/1.") ? m_received.mid(9, 3).toInt() : 0; }

    // Waits until `fd` is ready for `events` or a look is due; Over (the answer says
    // why) when a signal came, the service is not working, or `deadline` passed.
    Waited wait(short events, Clock::time_point deadline)
    {
        for (;;) {
            pollfd waits[2] = {{m_fd, events, 0}, {m_stop, POLLIN, 0}};
            const int ready = ::poll(waits, m_stop >= 0 ? 2 : 1, m_limits.lookMs);
            if (ready < 0 && errno != EINTR)
                return over(ServiceAnswer::End::Broken);
            if (const int signal = m_caught()) {
                m_answer.signal = signal;
                return over(ServiceAnswer::End::Stopped);
            }
            if (ready > 0 && waits[0].revents != 0)
                return Waited::Ready;
            if (ready == 0) {
                // Nothing for a while: the service shows whether it still works.
                if (m_look() != Peer::Working || Clock::now() >= deadline)
                    return over(ServiceAnswer::End::NotAnswering);
                return Waited::Quiet;
            }
        }
    }

    Waited over(ServiceAnswer::End end)
    {
        m_answer.end = end;
        return Waited::Over;
    }

    // Sends all of `bytes`, waiting at most `stallMs` (-1: for as long as the service
    // works) for the socket to take more.
    bool send(const QByteArray &bytes, int stallMs)
    {
        qsizetype done = 0;
        Clock::time_point deadline = until(stallMs);
        while (done < bytes.size()) {
            const ssize_t sent = ::send(m_fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (sent > 0) {
                done += sent;
                deadline = until(stallMs);
                continue;
            }
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent < 0 && errno != EAGAIN) {
                m_answer.end = ServiceAnswer::End::Broken; // the service closed its end
                return false;
            }
            if (wait(POLLOUT, deadline) == Waited::Over)
                return false;
        }
        return true;
    }

    // Reads on until more bytes are in; false (the answer says why) otherwise.
    bool readMore(Clock::time_point deadline)
    {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
            if (got > 0) {
                m_received.append(buffer, got);
                return true;
            }
            if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                m_answer.end = ServiceAnswer::End::Broken;
                return false;
            }
            if (wait(POLLIN, deadline) == Waited::Over)
                return false;
        }
    }

    // Reads until the headers of an answer are in, for at most `milliseconds`
    // (-1: for as long as the service works).
    bool readHead(int milliseconds)
    {
        const Clock::time_point deadline = until(milliseconds);
        while ((m_headEnd = m_received.indexOf("\r\n\r\n")) < 0) {
            if (!readMore(deadline))
                return false;
        }
        if (status() == 0) {
            m_answer.end = ServiceAnswer::End::Broken;
            return false;
        }
        return true;
    }

    bool readBody()
    {
        const QByteArray head = m_received.left(m_headEnd);
        const qint64 length = AnswerContentLength(head);
        if (length < 0) {
            m_answer.end = ServiceAnswer::End::Broken; // the service always says how long
            return false;
        }
        while (m_received.size() - m_headEnd - 4 < length) {
            if (!readMore(Clock::time_point::max()))
                return false;
        }
        if (m_received.size() - m_headEnd - 4 != length) {
            m_answer.end = ServiceAnswer::End::Broken;
            return false;
        }
        m_answer.status = status();
        m_answer.head = head;
        m_answer.body = m_received.mid(m_headEnd + 4);
        return true;
    }

    const int m_fd;
    const std::function<Peer()> &m_look;
    const int m_stop;
    const std::function<int()> &m_caught;
    const ServiceCallLimits m_limits;
    QByteArray m_received;
    qsizetype m_headEnd = -1;
    ServiceAnswer m_answer;
};

} // namespace

qint64 AnswerContentLength(const QByteArray &head)
{
    for (const QByteArray &line : head.split('\n')) {
        if (line.toLower().startsWith("content-length:")) {
            const QByteArray value = line.mid(15).trimmed();
            bool ok = false;
            const qint64 length = value.toLongLong(&ok);
            return ok && length >= 0 && !value.startsWith('+') && !value.startsWith('-') ? length : -2;
        }
    }
    return -1;
}

ServiceAnswer CallService(int fd, const QByteArray &head, const QByteArray &body, const std::function<Peer()> &look,
                          int stop, const std::function<int()> &caught, const ServiceCallLimits &limits)
{
    return Call(fd, look, stop, caught, limits).run(head, body);
}
