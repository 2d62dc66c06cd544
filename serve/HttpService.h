#pragma once

#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

class ConversionService;
class ServiceMetrics;
struct MHD_Daemon;

// The service's HTTP side, on GNU libmicrohttpd: POST /convert, GET /health,
// /ready and /metrics, one JSON log line per request on stderr.
//
// Every connection has a thread of its own, which waits while the request's
// document is in the queue or with an office, watching its socket meanwhile: a
// client that goes away frees its place. A body is streamed into a private folder
// of the request's own, removed when the request ends, whatever its outcome.
class HttpService {
public:
    // `bodies`: the service's private folder (0700), in which each request gets
    // one of its own.
    HttpService(ConversionService &conversions, ServiceMetrics &metrics, QString bodies, qint64 maxBytes);
    ~HttpService(); // stop()

    // Serves connections on the listening socket. Throws AppError.
    void start(int listenFd);
    // Takes no new connection; the requests under way go on.
    void stopAccepting();
    // Returns once no request is under way.
    void waitForRequests();
    // Closes every connection that is left (idle ones kept alive).
    void stop();
    // How long no request has been under way; zero while one is.
    std::chrono::steady_clock::duration idleTime() const;

private:
    friend struct HttpCallbacks;

    ConversionService &m_conversions;
    ServiceMetrics &m_metrics;
    const QString m_bodies;
    const qint64 m_maxBytes;
    MHD_Daemon *m_daemon = nullptr;
    std::atomic<quint64> m_nextRequest{0};
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_underWay = 0;
    std::chrono::steady_clock::time_point m_lastEnded = std::chrono::steady_clock::now();
};
