#pragma once

#include "convert/office/UnoOfficeOptions.h"
#include "serve/ConversionTicket.h"

#include <QString>
#include <atomic>
#include <mutex>

class ConversionService;
class ServiceMetrics;
class UnoOfficeBridge;

// One private office of the service and the thread that drives it: starts the
// office, then converts the queue's documents one at a time until the service
// finishes. As in the batch, a document during which the office ended (crashed,
// killed, or hung and ended by the watchdog) is tried once more on a fresh office,
// one that kept the office past the document limit is not; the bridge starts the
// office afresh between documents when it has grown past its memory bound. An
// office that does not start leaves the work to the others and is tried again a
// little later.
class ServiceJob {
public:
    enum class State { Starting, Up, Down };

    ServiceJob(UnoOfficeOptions options, ConversionService &service, ServiceMetrics &metrics)
        : m_options(std::move(options)), m_service(service), m_metrics(metrics) {}

    void run();
    State state() const { return m_state.load(); }
    // Ends the office's work on the ticket, if it is still at it: the office is
    // killed and started afresh for the next document.
    void cancel(const ConversionTicket &ticket);

private:
    // Starts the office when none runs; false when it cannot be started.
    bool startOffice(UnoOfficeBridge &office);
    // Counts an office start once its process is known, with its cause.
    void noteOfficeStart(UnoOfficeBridge &office);
    ConversionResult convert(UnoOfficeBridge &office, ConversionTicket &ticket);

    UnoOfficeOptions m_options;
    ConversionService &m_service;
    ServiceMetrics &m_metrics;
    std::atomic<State> m_state{State::Starting};
    qint64 m_knownOffice = 0;
    QString m_nextStartCause = QStringLiteral("start");
    std::mutex m_mutex; // guards the two below
    UnoOfficeBridge *m_office = nullptr;
    const ConversionTicket *m_current = nullptr;
};
