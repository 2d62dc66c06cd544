#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

class ServiceJob;

// How a request's conversion ended.
enum class ConversionOutcome {
    Converted,
    NotConverted,      // the document's own fault: the office did not load or save it
    PasswordProtected, // the office asked for a password
    OverLimit,         // the office was still at it when the document limit ran out
    OfficeFailed,      // the office ended twice while converting it
    NoOffice,          // no office could be started for it
    Cancelled          // its client went away, or the service stopped first
};

struct ConversionResult {
    ConversionOutcome outcome = ConversionOutcome::Cancelled;
    QString reason;
    double queuedSeconds = 0;
    double convertingSeconds = 0;
    qint64 office = 0; // the process id of the office that worked on it
    QString readAs = {}; // converted, but read as another type than a Writer document (ConvertDocument)
};

// One request's document on its way through the queue and an office. Shared by the
// request, which is told when it is done, and the office job that converts it.
class ConversionTicket {
public:
    // `done` runs once the result is in, on the thread that gave it.
    ConversionTicket(QString source, QString target, std::function<void()> done);
    ConversionTicket(const ConversionTicket &) = delete;
    ConversionTicket &operator=(const ConversionTicket &) = delete;

    const QString source;
    const QString target;

    // The result, once done.
    std::optional<ConversionResult> result() const;
    bool isCancelled() const;

private:
    friend class ConversionService;
    friend class ServiceJob;
    using Clock = std::chrono::steady_clock;

    // Job side.
    void startConverting(ServiceJob *job);
    // Gives the result with its times.
    ConversionResult finish(ConversionResult result);

    mutable std::mutex m_mutex;
    bool m_done = false;
    bool m_cancelled = false;
    ConversionResult m_result;
    ServiceJob *m_job = nullptr; // while an office converts it
    Clock::time_point m_queuedAt = Clock::now();
    Clock::time_point m_startedAt;
    std::function<void()> m_whenDone;
};
