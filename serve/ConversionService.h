#pragma once

#include "convert/office/UnoOfficeOptions.h"
#include "serve/ConversionTicket.h"
#include "serve/ServiceJob.h"

#include <QThread>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class ServiceMetrics;

// Why a request got no place.
enum class Refusal {
    QueueFull,
    NoOffice, // no office could be started
    Stopping
};

// A request's claim on the service, from its headers until its document is
// answered. A request is let in when its headers are in (or waits in line for
// that, or is refused before its body is sent); while its body arrives it holds
// no place, so that slow uploads keep nobody out. With its whole body it takes a
// place (one per office, and the queue's), waiting in line ahead of the requests
// without a body when none is free; places and entries free up in the order of
// the line.
class PlaceClaim {
public:
    enum class State { Waiting, Granted, Refused, Left };
    State state() const;
    Refusal refusal() const;

private:
    friend class ConversionService;
    // Changed under the service's lock, read by the request without it.
    std::atomic<State> m_state{State::Waiting};
    std::atomic<Refusal> m_refusal{Refusal::QueueFull};
    bool m_document = false; // the body is in: the claim is for a place
    bool m_holdsPlace = false;
    std::function<void()> m_decided; // once granted or refused, after waiting
};

// The service's offices and the queue in front of them. A request's document holds
// one of a fixed number of places (one per office, and the queue's) from its body's
// end to its answer; it waits in the queue until one of the offices takes it; every office
// converts one document at a time. The document limit counts from the document's
// load, so a request's wait does not count against it.
class ConversionService {
public:
    // Starts `jobs` offices, each on a thread of its own.
    ConversionService(const UnoOfficeOptions &options, int jobs, int queuePlaces, ServiceMetrics &metrics);
    ~ConversionService(); // finish()

    // Lets a request whose headers are in send its body: at once when a place is
    // free and nobody waits, else in line, in which case `decided` runs once it is
    // let in or refused (on another thread); nothing (and why) when no office can
    // be started or the service is stopping.
    std::shared_ptr<PlaceClaim> admit(std::function<void()> decided, Refusal &refusal);
    // With the request's whole body: a place for its document. True when taken at
    // once; else the claim waits in line, ahead of those without a body, and
    // `decided` runs once it is granted or refused.
    bool takePlace(const std::shared_ptr<PlaceClaim> &claim, std::function<void()> decided);
    // The request leaves without a document for its place: it leaves the line, or
    // gives its place to the next in line.
    void leave(const std::shared_ptr<PlaceClaim> &claim);
    // The request leaves the line if it is still waiting (true), not its place.
    bool leaveLine(const std::shared_ptr<PlaceClaim> &claim);
    // Queues the document (a file of the service's own) on the request's granted
    // place, for its text file `target`, where `shownFolder` (or nothing) stands for
    // the document's folder; `done` runs once the ticket has its result, after the
    // place is free again. Gives nothing when no office can be started, and the
    // place is left then.
    std::shared_ptr<ConversionTicket> submit(const std::shared_ptr<PlaceClaim> &claim, const QString &source,
                                             const QString &target, const QString &shownFolder,
                                             std::function<void()> done);
    int queuePlaces() const { return int(m_queuePlaces); }
    // The client went away: a waiting ticket leaves the queue, a converting one has
    // its office's work on it ended.
    void cancel(const std::shared_ptr<ConversionTicket> &ticket);
    // True when an office is ready or may still be started.
    bool ready() const;
    // Takes no new request: those waiting in line are refused; those holding a
    // place may still bring their documents.
    void stopTaking();
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
    // Gives a freed place to the next document in line, or lets the next request
    // in; its callback to run after unlocking.
    std::function<void()> freePlace();
    // Lets the next request in line in while a place is free.
    std::function<void()> admitNext();
    size_t capacity() const { return m_jobs.size() + m_queuePlaces; }
    // Refuses the waiting claims (with `documents`, those with a body too); their
    // callbacks to run after unlocking.
    std::vector<std::function<void()>> refuseWaiting(Refusal refusal, bool documents);

    ServiceMetrics &m_metrics;
    const size_t m_queuePlaces;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<ConversionTicket>> m_queue;
    // Waiting: documents for a place first, then requests to be let in; oldest first.
    std::deque<std::shared_ptr<PlaceClaim>> m_line;
    size_t m_placesTaken = 0; // documents with a place, queued or converting
    int m_busy = 0;
    bool m_taking = true;
    bool m_finishing = false;
    std::vector<std::unique_ptr<ServiceJob>> m_jobs;
    std::vector<std::unique_ptr<QThread>> m_threads;
};
