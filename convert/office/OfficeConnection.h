#pragma once

#include "convert/office/OfficePipe.h"
#include "convert/office/OfficeProcess.h"
#include "convert/office/OfficeProfile.h"
#include "convert/office/OfficeWatchdog.h"
#include "convert/office/UnoErrors.h"
#include "convert/office/UnoOfficeOptions.h"

#include <atomic>
#include <com/sun/star/uno/Reference.hxx>
#include <functional>
#include <memory>
#include <com/sun/star/uno/XComponentContext.hpp>

// The connection to the private office, over a named pipe that only this user can
// reach (a TCP port would let anyone on the machine drive the office). A live
// connection is reused; an office that has died is started again.
//
// Used from one thread only (the office thread), but for processId() and
// killOffice(), which any thread may call.
class OfficeConnection {
public:
    explicit OfficeConnection(UnoOfficeOptions options);
    ~OfficeConnection();

    // The office's component context. Throws AppError when the office cannot be
    // found, started or reached.
    css::uno::Reference<css::uno::XComponentContext> context();
    // The office's process id, 0 once it has been ended.
    qint64 processId() const { return m_processId.load(); }
    // Ends the office: asked first, then by signal.
    void shutdown();
    // Kills the office's process group at once, without a word to the office and
    // without waiting for it; shutdown() tidies up afterwards.
    void killOffice();
    // Called first thing whenever the office is ended, while the connection is
    // still there: what was made over it is let go.
    void setBeforeEnd(std::function<void()> beforeEnd) { m_beforeEnd = std::move(beforeEnd); }

    // Runs one call into the office as officeCall does, under the watchdog: an
    // office that does not answer within the call timeout is ended and the call
    // fails saying so.
    template <typename Call>
    auto watched(const QString &failure, Call &&call) -> decltype(call())
    {
        return watchedWithin(m_callTimeout, failure, std::forward<Call>(call));
    }

    // Counts a document the office has been asked to load, for the periodic
    // restart.
    void countLoadedDocument() { ++m_documentsSinceStart; }
    // True when the office has loaded enough documents to be started afresh.
    bool restartIsDue() const;

private:
    template <typename Call>
    auto watchedWithin(std::chrono::milliseconds timeout, const QString &failure, Call &&call) -> decltype(call())
    {
        OfficeWatchdog::Watch watch(m_watchdog, static_cast<pid_t>(m_process.processId()), timeout);
        try {
            return officeCall(failure, call);
        } catch (const AppError &) {
            if (watch.finish())
                throw timedOut(failure, timeout);
            throw;
        }
    }

    bool answers(std::chrono::milliseconds within);
    void startAndConnect();
    void startProcess(const QString &binary, const QStringList &arguments, const QProcessEnvironment &environment);
    // True once the office's pipe exists; throws AppError when it is not ours.
    bool pipeIsReady();
    bool tryConnect(const css::uno::Reference<css::uno::XComponentContext> &local);
    void applySettings();
    // Empties the office's temporary folder; a failure is only logged.
    void emptyTemporaryFolder();
    static AppError timedOut(const QString &failure, std::chrono::milliseconds timeout);

    UnoOfficeOptions m_options;
    std::chrono::milliseconds m_callTimeout;
    OfficeProfile m_profile;
    OfficeProcess m_process;
    OfficeWatchdog m_watchdog;
    std::unique_ptr<OfficePipe> m_pipe;
    css::uno::Reference<css::uno::XComponentContext> m_remote;
    int m_documentsSinceStart = 0;
    std::atomic<qint64> m_processId{0};
    std::function<void()> m_beforeEnd;
};
