#include "serve/ConversionService.h"

#include "serve/ServiceMetrics.h"

#include <algorithm>

namespace {

constexpr auto kStartAgainAfter = std::chrono::seconds(10);

QString outcomeName(ConversionOutcome outcome)
{
    switch (outcome) {
    case ConversionOutcome::Converted: return QStringLiteral("converted");
    case ConversionOutcome::NotConverted: return QStringLiteral("not-converted");
    case ConversionOutcome::PasswordProtected: return QStringLiteral("password-protected");
    case ConversionOutcome::OverLimit: return QStringLiteral("over-limit");
    case ConversionOutcome::OfficeFailed: return QStringLiteral("office-failed");
    case ConversionOutcome::NoOffice: return QStringLiteral("no-office");
    case ConversionOutcome::NotStored: return QStringLiteral("not-stored");
    case ConversionOutcome::NoRoom: return QStringLiteral("no-room");
    case ConversionOutcome::Cancelled: return QStringLiteral("cancelled");
    }
    return {};
}

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

std::shared_ptr<ConversionTicket> ConversionService::submit(const QString &source, const QString &target,
                                                            Refusal &refusal)
{
    const std::lock_guard lock(m_mutex);
    if (m_finishing) {
        refusal = Refusal::Stopping;
        return {};
    }
    if (!anyOfficeMayServe()) {
        refusal = Refusal::NoOffice;
        return {};
    }
    // Places are for waiting: an idle office takes the ticket at once.
    const size_t idle = m_jobs.size() - size_t(m_busy);
    if (m_queue.size() >= m_queuePlaces + idle) {
        refusal = Refusal::QueueFull;
        return {};
    }
    m_queue.push_back(std::make_shared<ConversionTicket>(source, target));
    updateGauges();
    m_changed.notify_all();
    return m_queue.back();
}

void ConversionService::cancel(const std::shared_ptr<ConversionTicket> &ticket)
{
    ServiceJob *job = nullptr;
    {
        const std::lock_guard lock(m_mutex);
        {
            const std::lock_guard ticketLock(ticket->m_mutex);
            ticket->m_cancelled = true;
            job = ticket->m_job;
        }
        if (const auto found = std::find(m_queue.begin(), m_queue.end(), ticket); found != m_queue.end()) {
            m_queue.erase(found);
            updateGauges();
            return;
        }
    }
    if (job)
        job->cancel(*ticket);
}

bool ConversionService::ready() const
{
    const std::lock_guard lock(m_mutex);
    return !m_finishing && anyOfficeMayServe();
}

void ConversionService::finish()
{
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
    const ConversionResult finished = ticket.finish(std::move(result));
    m_metrics.conversion(outcomeName(finished.outcome), finished.queuedSeconds, finished.convertingSeconds);
    const std::lock_guard lock(m_mutex);
    --m_busy;
    updateGauges();
}

void ConversionService::officeDown()
{
    std::deque<std::shared_ptr<ConversionTicket>> failed;
    {
        const std::lock_guard lock(m_mutex);
        if (anyOfficeMayServe())
            return;
        failed.swap(m_queue);
        updateGauges();
    }
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
}
