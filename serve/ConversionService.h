#pragma once

#include "convert/office/UnoOfficeOptions.h"
#include "serve/ConversionTicket.h"
#include "serve/ServiceJob.h"

#include <QThread>
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

// A request's place, held from its headers until its document is answered, so
// that a request is refused before its body is sent rather than after. A request
// that finds no place free waits in line for one; places free up in the order of
// the line.
class PlaceClaim {
public:
    enum class State { Waiting, Granted, Refused, Left };
    State state() const;
    Refusal refusal() const;

private:
    friend class ConversionService;
    State m_state = State::Waiting;
    Refusal m_refusal = Refusal::QueueFull;
    std::function<void()> m_decided; // once granted or refused, after waiting
};

class ConversionService {
public:
    // Starts `jobs` offices, each on a thread of its own.
    ConversionService(const UnoOfficeOptions &options, int jobs, int queuePlaces, ServiceMetrics &metrics);
    ~ConversionService(); // finish()

    // A place for a request: granted at once, or waiting in line, in which case
    // `decided` runs once it is granted or refused (on another thread); nothing
    // (and why) when no office can be started or the service is stopping.
    std::shared_ptr<PlaceClaim> claimPlace(std::function<void()> decided, Refusal &refusal);
    // The request leaves without a document for its place: it leaves the line, or
    // gives its place to the next in line.
    void leave(const std::shared_ptr<PlaceClaim> &claim);
    // The request leaves the line if it is still waiting (true), not its place.
    bool leaveLine(const std::shared_ptr<PlaceClaim> &claim);
    // Queues the document (a file of the service's own) on the request's granted
    // place, for its text file `target`; `done` runs once the ticket has its
    // result, after the place is free again. Gives nothing when no office can be
    // started, and the place is left then.
    std::shared_ptr<ConversionTicket> submit(const std::shared_ptr<PlaceClaim> &claim, const QString &source,
                                             const QString &target, std::function<void()> done);
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
    // Gives a freed place to the next in line; its callback to run after unlocking.
    std::function<void()> freePlace();
    // Refuses every waiting claim; their callbacks to run after unlocking.
    std::vector<std::function<void()>> refuseWaiting(Refusal refusal);

    ServiceMetrics &m_metrics;
    const size_t m_queuePlaces;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<ConversionTicket>> m_queue;
    std::deque<std::shared_ptr<PlaceClaim>> m_line; // waiting for a place, oldest first
    size_t m_placesTaken = 0;                       // granted claims, documents queued or converting
    int m_busy = 0;
    bool m_taking = true;
    bool m_finishing = false;
    std::vector<std::unique_ptr<ServiceJob>> m_jobs;
    std::vector<std::unique_ptr<QThread>> m_threads;
};
