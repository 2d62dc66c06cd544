#pragma once

#include "convert/office/UnoOfficeOptions.h"
#include "serve/ConversionTicket.h"
#include "serve/ServiceJob.h"

#include <QThread>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class ServiceMetrics;

// Why a document was not queued.
enum class Refusal {
    QueueFull,
    NoOffice, // no office could be started
    Stopping
};

// The service's offices and the queue in front of them. A request's document
// waits in the queue, which has a fixed number of places, until one of the
// offices takes it; every office converts one document at a time. The document
// limit counts from the document's load, so a request's wait does not count
// against it.
class ConversionService {
public:
    // Starts `jobs` offices, each on a thread of its own.
    ConversionService(const UnoOfficeOptions &options, int jobs, int queuePlaces, ServiceMetrics &metrics);
    ~ConversionService(); // finish()

    // Queues the document (a file of the service's own) for its text file
    // `target`. Gives nothing, and says why, when the queue is full, no office
    // can be started or the service is finishing.
    std::shared_ptr<ConversionTicket> submit(const QString &source, const QString &target, Refusal &refusal);
    int queuePlaces() const { return int(m_queuePlaces); }
    // The client went away: a waiting ticket leaves the queue, a converting one has
    // its office's work on it ended.
    void cancel(const std::shared_ptr<ConversionTicket> &ticket);
    // True when an office is ready or may still be started.
    bool ready() const;
    // Takes no more documents, converts those in the queue, then ends the offices
    // and returns.
    void finish();

private:
    friend class ServiceJob;
    // Job side: the next ticket, waiting for one; none when finishing and the
    // queue is empty.
    std::shared_ptr<ConversionTicket> next();
    void done(ConversionTicket &ticket, ConversionResult result);
    // An office could not be started: when none can, the waiting tickets fail.
    void officeDown();
    // Waits a while before a job tries its office again; false when finishing.
    bool waitBeforeStartingAgain();
    bool anyOfficeMayServe() const;
    void updateGauges();

    ServiceMetrics &m_metrics;
    const size_t m_queuePlaces;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<ConversionTicket>> m_queue;
    int m_busy = 0;
    bool m_finishing = false;
    std::vector<std::unique_ptr<ServiceJob>> m_jobs;
    std::vector<std::unique_ptr<QThread>> m_threads;
};
