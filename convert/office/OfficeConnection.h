#pragma once

#include "convert/office/DocumentOverLimit.h"
#include "convert/office/OfficeConfinement.h"
#include "convert/office/OfficeInstallation.h"
#include "convert/office/OfficePipe.h"
#include "convert/office/OfficeProcess.h"
#include "convert/office/OfficeProfile.h"
#include "convert/office/OfficeWatchdog.h"
#include "convert/office/UnoErrors.h"
#include "convert/office/UnoOfficeOptions.h"

#include <QElapsedTimer>
#include <QList>
#include <atomic>
#include <com/sun/star/uno/Reference.hxx>
#include <functional>
#include <memory>
#include <optional>
#include <com/sun/star/uno/XComponentContext.hpp>

// The connection to the private office, over a named pipe that only this user can
// reach (a TCP port would let anyone on the machine drive the office). A live
// connection is reused; an office that has died is started again.
//
// Used from one thread only (the office thread), but for processId(), killOffice()
// and killOfficeAndRemoveItsCopies(), which any thread may call.
class OfficeConnection {
public:
    explicit OfficeConnection(UnoOfficeOptions options);
    ~OfficeConnection();

    // The office's component context. Throws AppError when the office cannot be
    // found, started or reached.
    css::uno::Reference<css::uno::XComponentContext> context();
    // The office's process id (soffice.bin's, also in its sandbox), 0 once it has
    // been ended.
    qint64 processId() const { return m_processId.load(); }
    // Ends the office: asked first, then by signal.
    void shutdown();
    // Kills the office's process group at once, without a word to the office and
    // without waiting for it; shutdown() tidies up afterwards.
    void killOffice();
    // Kills the office as killOffice() does, waits a moment for it to be gone, and
    // empties its temporary folder, which holds copies of the documents it loads:
    // the program may end before shutdown() gets to it (the window closed mid-run).
    void killOfficeAndRemoveItsCopies();
    // Called first thing whenever the office is ended, while the connection is
    // still there: what was made over it is let go.
    void setBeforeEnd(std::function<void()> beforeEnd) { m_beforeEnd = std::move(beforeEnd); }

    // Runs one call into the office as officeCall does, under the watchdog: an
    // office that does no work on it for the call timeout is ended and the call
    // fails saying so; so does one that is still at work when the document's
    // limit runs out (DocumentOverLimit).
    template <typename Call>
    auto watched(const QString &failure, Call &&call) -> decltype(call())
    {
        const auto ceiling = m_documentStart.value_or(std::chrono::steady_clock::now()) + m_documentLimit;
        return watchedWithin(m_callTimeout, ceiling, failure, std::forward<Call>(call));
    }

    // The document limit counts from the start of a document's load to its close;
    // a call outside any document has the limit to itself.
    void startDocument();
    void endDocument() { m_documentStart.reset(); }
    // True when the office has grown past the memory bound since it started, and
    // is best started afresh before the next document.
    bool restartIsDue();

private:
    template <typename Call>
    auto watchedWithin(std::chrono::milliseconds idleBound, std::chrono::steady_clock::time_point ceiling,
                       const QString &failure, Call &&call) -> decltype(call())
    {
        OfficeWatchdog::Watch watch(m_watchdog, static_cast<pid_t>(m_process.processId()), idleBound, ceiling);
        try {
            return officeCall(failure, call);
        } catch (const AppError &) {
            switch (watch.finish()) {
            case OfficeWatchdog::Verdict::Hung: throw timedOut(failure, idleBound);
            case OfficeWatchdog::Verdict::RanAway: throw overLimit(failure);
            case OfficeWatchdog::Verdict::Answered: throw;
            }
            throw;
        }
    }
    // Within `time`, whether the office works or not.
    template <typename Call>
    auto watchedWithin(std::chrono::milliseconds time, const QString &failure, Call &&call) -> decltype(call())
    {
        return watchedWithin(time, std::chrono::steady_clock::now() + time, failure, std::forward<Call>(call));
    }

    bool answers(std::chrono::milliseconds within);
    void startAndConnect();
    // The sandbox for the next start; none where offices cannot be confined, or
    // RefusalError when confinement is required.
    void prepareJail(const OfficeInstallation &office);
    void startProcess(const QString &binary, const QStringList &arguments, const QProcessEnvironment &environment);
    // True once the office's pipe exists; throws AppError when it is not ours.
    bool pipeIsReady();
    bool tryConnect(const css::uno::Reference<css::uno::XComponentContext> &local);
    void applySettings();
    // Empties the office's temporary folder; a failure is only logged.
    void emptyTemporaryFolder();
    static AppError timedOut(const QString &failure, std::chrono::milliseconds timeout);
    DocumentOverLimit overLimit(const QString &failure) const;

    UnoOfficeOptions m_options;
    std::chrono::milliseconds m_callTimeout;
    std::chrono::milliseconds m_documentLimit;
    std::optional<std::chrono::steady_clock::time_point> m_documentStart;
    OfficeProfile m_profile;
    OfficeProcess m_process;
    OfficeWatchdog m_watchdog;
    std::unique_ptr<OfficePipe> m_pipe;
    css::uno::Reference<css::uno::XComponentContext> m_remote;
    bool m_loadedSinceLook = false; // a document was loaded since the memory was last looked at
    QList<qint64> m_officeProcesses; // the office's process group, as last found
    QElapsedTimer m_processesFound;
    std::atomic<qint64> m_processId{0};
    std::atomic<qint64> m_groupId{0}; // the process group the office was started in
    std::unique_ptr<OfficeJail> m_jail;
    std::function<void()> m_beforeEnd;
};
