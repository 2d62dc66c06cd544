#include "serve/ConversionService.h"

#include "serve/Outcomes.h"
#include "serve/ServiceMetrics.h"

#include <algorithm>

namespace {

constexpr auto kStartAgainAfter = std::chrono::seconds(10);

} // namespace

ConversionService::ConversionService(const UnoOfficeOptions &options, int jobs, int queuePlaces,
                                     ServiceMetrics &metrics)
    : m_metrics(metrics), m_queuePlaces(size_t(queuePlaces))
{
    for (int i = 0; i < jobs; ++i) {
        m_jobs.push_back(std::make_unique<ServiceJob>(options, *this, metrics));
        // A QThread: the office's process is watched with Qt's event machinery.
        m_threads.emplace_back(QThread::create([job = m_jobs.back().get()] { job->run(); }));
        m_threads.back()->start();
    }
}

ConversionService::~ConversionService()
{
    finish();
}

PlaceClaim::State PlaceClaim::state() const
{
    return m_state;
}

Refusal PlaceClaim::refusal() const
{
    return m_refusal;
}

std::shared_ptr<PlaceClaim> ConversionService::admit(std::function<void()> decided, Refusal &refusal)
{
    const std::lock_guard lock(m_mutex);
    if (!m_taking) {
        refusal = Refusal::Stopping;
        return {};
    }
    if (!anyOfficeMayServe()) {
        refusal = Refusal::NoOffice;
        return {};
    }
    auto claim = std::make_shared<PlaceClaim>();
    // In the order of the line: a newcomer does not go before those already waiting.
    if (m_line.empty() && m_placesTaken < capacity()) {
        claim->m_state = PlaceClaim::State::Granted;
        return claim;
    }
    claim->m_decided = std::move(decided);
    m_line.push_back(claim);
    updateGauges();
    return claim;
}

bool ConversionService::takePlace(const std::shared_ptr<PlaceClaim> &claim, std::function<void()> decided)
{
    const std::lock_guard lock(m_mutex);
    if (claim->m_state != PlaceClaim::State::Granted || claim->m_holdsPlace)
        return claim->m_holdsPlace;
    claim->m_document = true;
    if (m_placesTaken < capacity() && (m_line.empty() || !m_line.front()->m_document)) {
        ++m_placesTaken;
        claim->m_holdsPlace = true;
        updateGauges();
        return true;
    }
    claim->m_state = PlaceClaim::State::Waiting;
    claim->m_decided = std::move(decided);
    const auto firstWithoutBody =
        std::find_if(m_line.begin(), m_line.end(), [](const auto &waiting) { return !waiting->m_document; });
    m_line.insert(firstWithoutBody, claim);
    updateGauges();
    return false;
}

void ConversionService::leave(const std::shared_ptr<PlaceClaim> &claim)
{
    if (leaveLine(claim))
        return;
    std::function<void()> next;
    {
        const std::lock_guard lock(m_mutex);
        if (claim->m_state.exchange(PlaceClaim::State::Left) == PlaceClaim::State::Granted)
            next = std::exchange(claim->m_holdsPlace, false) ? freePlace() : admitNext();
        updateGauges();
    }
    if (next)
        next();
}

bool ConversionService::leaveLine(const std::shared_ptr<PlaceClaim> &claim)
{
    const std::lock_guard lock(m_mutex);
    if (claim->m_state != PlaceClaim::State::Waiting)
        return false;
    claim->m_state = PlaceClaim::State::Left;
    claim->m_decided = nullptr;
    m_line.erase(std::remove(m_line.begin(), m_line.end(), claim), m_line.end());
    updateGauges();
    return true;
}

std::shared_ptr<ConversionTicket> ConversionService::submit(const std::shared_ptr<PlaceClaim> &claim,
                                                            const QString &source, const QString &target,
                                                            const QString &shownFolder, std::function<void()> done)
{
    {
        const std::lock_guard lock(m_mutex);
        if (claim->m_state == PlaceClaim::State::Granted && claim->m_holdsPlace && anyOfficeMayServe()) {
            // The place goes over to the ticket, which frees it when done.
            claim->m_state = PlaceClaim::State::Left;
            claim->m_holdsPlace = false;
            m_queue.push_back(std::make_shared<ConversionTicket>(source, target, shownFolder, std::move(done)));
            updateGauges();
            m_changed.notify_all();
            return m_queue.back();
        }
    }
    leave(claim);
    return {};
}

std::function<void()> ConversionService::freePlace()
{
    if (!m_line.empty() && m_line.front()->m_document) {
        // The place goes over to the document that waits for it.
        const std::shared_ptr<PlaceClaim> next = m_line.front();
        m_line.pop_front();
        next->m_holdsPlace = true;
        next->m_state = PlaceClaim::State::Granted;
        return std::exchange(next->m_decided, nullptr);
    }
    --m_placesTaken;
    return admitNext();
}

std::function<void()> ConversionService::admitNext()
{
    if (m_line.empty() || m_line.front()->m_document || m_placesTaken >= capacity())
        return {};
    const std::shared_ptr<PlaceClaim> next = m_line.front();
    m_line.pop_front();
    next->m_state = PlaceClaim::State::Granted;
    return std::exchange(next->m_decided, nullptr);
}

std::vector<std::function<void()>> ConversionService::refuseWaiting(Refusal refusal, bool documents)
{
    std::vector<std::function<void()>> decided;
    const auto refused = std::stable_partition(m_line.begin(), m_line.end(), [&](const auto &claim) {
        return claim->m_document && !documents;
    });
    for (auto claim = refused; claim != m_line.end(); ++claim) {
        (*claim)->m_state = PlaceClaim::State::Refused;
        (*claim)->m_refusal = refusal;
        decided.push_back(std::exchange((*claim)->m_decided, nullptr));
    }
    m_line.erase(refused, m_line.end());
    return decided;
}

void ConversionService::stopTaking()
{
    std::vector<std::function<void()>> decided;
    {
        const std::lock_guard lock(m_mutex);
        m_taking = false;
        // Documents already in go on; requests without a body are refused.
        decided = refuseWaiting(Refusal::Stopping, false);
        updateGauges();
    }
    for (const auto &call : decided)
        call();
}

void ConversionService::cancel(const std::shared_ptr<ConversionTicket> &ticket)
{
    ServiceJob *job = nullptr;
    std::function<void()> next;
    bool wasQueued = false;
    {
        const std::lock_guard lock(m_mutex);
        {
            const std::lock_guard ticketLock(ticket->m_mutex);
            ticket->m_cancelled = true;
            job = ticket->m_job;
        }
        if (const auto found = std::find(m_queue.begin(), m_queue.end(), ticket); found != m_queue.end()) {
            m_queue.erase(found);
            wasQueued = true;
            next = freePlace();
            updateGauges();
        }
    }
    if (next)
        next();
    if (!wasQueued && job)
        job->cancel(*ticket);
}

bool ConversionService::ready() const
{
    const std::lock_guard lock(m_mutex);
    return m_taking && !m_finishing && anyOfficeMayServe();
}

void ConversionService::finish()
{
    stopTaking();
    {
        const std::lock_guard lock(m_mutex);
        m_finishing = true;
        m_changed.notify_all();
    }
    for (const auto &thread : m_threads)
        thread->wait();
}

std::shared_ptr<ConversionTicket> ConversionService::next()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_queue.empty() || m_finishing; });
    if (m_queue.empty())
        return {};
    std::shared_ptr<ConversionTicket> ticket = m_queue.front();
    m_queue.pop_front();
    // Marked as taken while the queue's lock is held, so that a cancel finds it
    // either in the queue or on its job.
    ++m_busy;
    updateGauges();
    return ticket;
}

void ConversionService::done(ConversionTicket &ticket, ConversionResult result)
{
    std::function<void()> next;
    {
        // The place is free before the answer goes out: a client that sends its
        // next document as soon as it has the answer must find a place.
        const std::lock_guard lock(m_mutex);
        --m_busy;
        next = freePlace();
        updateGauges();
    }
    if (next)
        next();
    const ConversionResult finished = ticket.finish(std::move(result));
    m_metrics.conversion(QString::fromLatin1(RowOf(finished.outcome).label), finished.queuedSeconds, finished.convertingSeconds);
}

void ConversionService::officeDown()
{
    std::deque<std::shared_ptr<ConversionTicket>> failed;
    std::vector<std::function<void()>> refused;
    {
        const std::lock_guard lock(m_mutex);
        if (anyOfficeMayServe())
            return;
        failed.swap(m_queue);
        m_placesTaken -= failed.size();
        refused = refuseWaiting(Refusal::NoOffice, true);
        updateGauges();
    }
    for (const auto &call : refused)
        call();
    for (const auto &ticket : failed)
        ticket->finish({ConversionOutcome::NoOffice, QStringLiteral("No office could be started."), 0, 0, 0});
}

bool ConversionService::waitBeforeStartingAgain()
{
    std::unique_lock lock(m_mutex);
    return !m_changed.wait_for(lock, kStartAgainAfter, [this] { return m_finishing; });
}

bool ConversionService::anyOfficeMayServe() const
{
    return std::any_of(m_jobs.begin(), m_jobs.end(),
                       [](const auto &job) { return job->state() != ServiceJob::State::Down; });
}

void ConversionService::updateGauges()
{
    m_metrics.setQueueLength(int(m_queue.size()));
    m_metrics.setOfficesBusy(m_busy);
    m_metrics.setPlaces(int(m_line.size()), int(m_placesTaken));
}
