#pragma once

#include "serve/ConnectionWatch.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

class ConversionService;
class ServiceMetrics;
struct MHD_Daemon;
struct ServeOptions;

// The service's HTTP side, on GNU libmicrohttpd: POST /convert, GET /health,
// /ready and /metrics, one JSON log line per request on stderr.
//
// A few threads poll every connection (epoll); no connection holds a thread. A
// request for a conversion takes a place when its headers are in (waiting in line
// for one a short while, or answered 503 at once, before its body is sent); its
// body is streamed into a private folder of the request's own, removed when the
// request ends, whatever its outcome. While its document waits for an office and
// is converted the connection is set aside, and a watch tells if the client hangs
// up meanwhile: its place is freed then.
class HttpService {
public:
    // `bodies`: the service's private folder (0700), in which each request gets
    // one of its own.
    // Throws AppError when the connections cannot be watched.
    HttpService(ConversionService &conversions, ServiceMetrics &metrics, QString bodies, const ServeOptions &options,
                const Clock &clock = Clock::steady());
    ~HttpService(); // stop()

    // Serves connections on the listening socket. Throws AppError.
    void start(int listenFd);
    // Takes no new connection and no new request; requests waiting for a place are
    // refused; uploads still arriving after the grace are cut off; the requests
    // with a document go on.
    void stopAccepting();
    // Returns once no request is under way.
    void waitForRequests();
    // Closes every connection that is left (idle ones kept alive).
    void stop();
    // How long no request has been under way; zero while one is.
    Clock::Duration idleTime() const;

private:
    friend struct HttpCallbacks;

    ConversionService &m_conversions;
    ServiceMetrics &m_metrics;
    const QString m_bodies;
    const ServeOptions &m_options;
    const Clock &m_clock;
    ConnectionWatch m_watch;
    MHD_Daemon *m_daemon = nullptr;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_underWay = 0;
    Clock::TimePoint m_lastEnded;
};
