#include "convert/office/OfficeConnection.h"

#include "convert/OfficeBridge.h"
#include "convert/office/OfficeAccount.h"
#include "convert/office/OfficeConfinement.h"
#include "convert/office/OfficeEnvironment.h"
#include "convert/office/OfficeInstallation.h"
#include "convert/office/OfficePipe.h"
#include "convert/office/OfficeSettings.h"
#include "convert/office/OfficeStartWait.h"
#include "convert/office/UnoRuntime.h"
#include "convert/office/UnoString.h"
#include "util/ProcessInfo.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <csignal>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>

namespace {

// soffice.bin exits with this after creating a new profile, asking to be started
// again (the launcher normally does that).
constexpr int kRestartRequested = 81;
constexpr int kAcceptRetryMs = 10;
constexpr int kTerminateWaitMs = 5000;
// How often the office's processes are looked for anew, for its memory.
constexpr qint64 kProcessesLookupMs = 10000;
// Ending the program must not wait long for an office that does not answer.
constexpr std::chrono::milliseconds kShutdownAnswerTime{5000};

// The profile goes in the environment, which only this user may read, not on the
// command line, which every user sees: its random name is what keeps the office's
// single-instance pipe out of others' reach.
QStringList officeArguments(const QString &pipe)
{
    return {QStringLiteral("--headless"),
            QStringLiteral("--invisible"),
            QStringLiteral("--norestore"),
            QStringLiteral("--nologo"),
            QStringLiteral("--nodefault"),
            QStringLiteral("--nolockcheck"),
            QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipe)};
}

// The URL the office names its single-instance pipe after: its profile's path with
// the links resolved. The profile need not exist any more (it was renamed).
QString pipeUrlOf(const QString &installation)
{
    const QFileInfo info(installation);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return FileUrlOf((folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName());
}

// The office inside the sandbox started as `group`: the sandbox's process (the
// group's leader) starts one that stands for the namespace's init, which starts
// the office. 0 when there is none (yet).
qint64 officeInSandbox(qint64 group)
{
    const QList<qint64> processes = ProcessesOfGroup(group);
    const auto childOf = [&](qint64 parent) -> qint64 {
        for (const qint64 process : processes) {
            const std::optional<ProcessStatus> status = ReadProcessStatus(process);
            if (status && status->parent == parent)
                return process;
        }
        return 0;
    };
    const qint64 init = childOf(group);
    return init > 0 ? childOf(init) : 0;
}

} // namespace

OfficeConnection::OfficeConnection(UnoOfficeOptions options)
    : m_options(std::move(options))
    , m_callTimeout(m_options.callTimeoutMs)
    , m_documentLimit(m_options.documentLimitMs)
{
}

OfficeConnection::~OfficeConnection()
{
    shutdown();
}

css::uno::Reference<css::uno::XComponentContext> OfficeConnection::context()
{
    if (!answers(m_callTimeout))
        startAndConnect();
    return m_remote;
}

void OfficeConnection::startDocument()
{
    m_documentStart = std::chrono::steady_clock::now();
    m_loadedSinceLook = true;
}

bool OfficeConnection::restartIsDue()
{
    if (m_options.restartAboveBytes <= 0 || !std::exchange(m_loadedSinceLook, false))
        return false;
    // Finding the office's processes reads every process's status (1.5 ms, a tenth
    // of a small document's conversion), so it is done now and then; in between
    // the processes found last are read alone.
    const qint64 office = m_process.processId();
    if (!m_processesFound.isValid() || m_processesFound.hasExpired(kProcessesLookupMs)
        || !m_officeProcesses.contains(office)) {
        m_officeProcesses = ProcessesOfGroup(office);
        m_processesFound.start();
    }
    return UsageOfProcesses(m_officeProcesses, office).residentBytes > m_options.restartAboveBytes;
}

void OfficeConnection::shutdown()
{
    if (m_beforeEnd)
        m_beforeEnd();
    // Asked, the office removes its pipes and leaves its profile tidy; signals
    // are the fallback for one that does not answer.
    if (answers(kShutdownAnswerTime)) {
        bool ending = true;
        try {
            ending = watchedWithin(kShutdownAnswerTime, QStringLiteral("The office could not be ended"),
                                   [&] { return css::frame::Desktop::create(m_remote)->terminate(); });
        } catch (const AppError &) {
            // It may well drop the connection while answering.
        }
        m_remote.clear();
        if (ending)
            m_process.waitForExit(kTerminateWaitMs);
    }
    m_remote.clear();
    m_process.stop();
    m_processId = 0;
    m_groupId = 0;
    if (!m_profile.installation().isEmpty())
        OfficePipe::removeSingleInstancePipe(pipeUrlOf(m_profile.installation()));
    // An office ran since the folder was last emptied.
    if (m_pipe) {
        m_pipe.reset();
        emptyTemporaryFolder();
    }
}

void OfficeConnection::emptyTemporaryFolder()
{
    try {
        m_profile.emptyTemporaryFolder();
    } catch (const AppError &error) {
        qWarning("%s", qPrintable(error.description()));
    }
}

void OfficeConnection::killOffice()
{
    const auto group = static_cast<pid_t>(m_groupId.load());
    if (group <= 0)
        return;
    // SIGKILL also ends a stopped office; the group takes any helper it started.
    if (::kill(-group, SIGKILL) != 0)
        ::kill(group, SIGKILL);
}

void OfficeConnection::killOfficeAndRemoveItsCopies()
{
    const qint64 office = m_processId.load();
    killOffice();
    // Once it is gone (or dead and not yet reaped) nothing writes there any more.
    const QDeadlineTimer deadline(kTerminateWaitMs);
    while (office > 0 && !deadline.hasExpired()) {
        const std::optional<ProcessStatus> status = ReadProcessStatus(office);
        if (!status || status->state == 'Z' || status->state == 'X')
            break;
        QThread::msleep(10);
    }
    emptyTemporaryFolder();
}

void OfficeConnection::startProcess(const QString &binary, const QStringList &arguments,
                                    const QProcessEnvironment &environment)
{
    if (m_jail)
        m_process.start(m_jail->program(), m_jail->arguments(binary, arguments), environment,
                        m_jail->inheritedDescriptors());
    else
        m_process.start(binary, arguments, environment);
    m_groupId = m_process.processId();
    m_processId = m_groupId.load();
}

void OfficeConnection::prepareJail(const OfficeInstallation &office)
{
    m_jail.reset();
    const ConfinementHere &here = OfficeConfinementHere();
    if (!here.available) {
        if (m_options.requireConfinement)
            throw RefusalError(UnconfinedOfficeRefusal(here));
        return;
    }
    ConfinedFolders folders;
    folders.officeRoot = QFileInfo(office.programDir + QStringLiteral("/..")).canonicalFilePath();
    folders.writable = {m_profile.installation(), m_profile.temporaryFolder(),
                        QFileInfo(m_pipe->socketPath()).absolutePath()};
    folders.workingFolder = m_profile.temporaryFolder();
    m_jail = std::make_unique<OfficeJail>(folders);
}

bool OfficeConnection::answers(std::chrono::milliseconds within)
{
    if (!m_remote.is())
        return false;
    if (m_process.isRunning()) {
        try {
            // A round trip: fails once the office has gone.
            if (watchedWithin(within, QStringLiteral("The office did not answer"),
                              [&] { return m_remote->getServiceManager().is(); }))
                return true;
        } catch (const AppError &) {
        }
    }
    m_remote.clear();
    return false;
}

void OfficeConnection::startAndConnect()
{
    shutdown();
    OfficePipe::removeLeftoversOfEndedPrograms();
    // Before anything is started or made.
    const OfficeAccount account = OfficeAccount::require(m_options.accountWrapperSearchPath);
    const OfficeInstallation office = findOffice(m_options.officeSearchPath, m_options.programDir);
    const auto local = localUnoContext(office.programDir);
    m_profile.claim(m_options.profileDir.isEmpty() ? OfficeProfile::defaultFolder() : m_options.profileDir);
    // What an office that was killed left there goes before the next one starts.
    m_profile.emptyTemporaryFolder();
    const QString installation = m_profile.renewInstallation();
    // The pipe an office of an earlier run left when it was killed (the window
    // closed, the program killed), which nobody else could have removed.
    if (!m_profile.previousInstallation().isEmpty())
        OfficePipe::removeSingleInstancePipe(pipeUrlOf(m_profile.previousInstallation()));
    m_pipe = std::make_unique<OfficePipe>();
    prepareJail(office);
    const QStringList arguments = officeArguments(m_pipe->officeName());
    QProcessEnvironment environment =
        account.apply(officeEnvironment(QProcessEnvironment::systemEnvironment(), m_profile.temporaryFolder()),
                      m_profile.temporaryFolder());
    environment.insert(QStringLiteral("UserInstallation"), FileUrlOf(installation));

    QElapsedTimer clock;
    clock.start();
    const auto timeLeft = [&] {
        return std::chrono::milliseconds(std::max<qint64>(1, m_options.startTimeoutMs - clock.elapsed()));
    };
    const auto gaveUp = [&] {
        shutdown();
        return AppError(QStringLiteral("The office (%1) did not answer within %2 seconds.")
                            .arg(office.officeBinary, QString::number(m_options.startTimeoutMs / 1000.0)));
    };

    // Each wait ends on what it waits for: the pipe made, or the office ended.
    OfficeStartWait starting(QFileInfo(m_pipe->socketPath()).absolutePath());
    startProcess(office.officeBinary, arguments, environment);
    starting.watchProcess(m_process.processId());
    m_loadedSinceLook = false;
    for (;;) {
        const bool pipeThere = pipeIsReady();
        if (pipeThere) {
            // Connecting to an office that is stuck while starting would wait for ever.
            const auto left = timeLeft();
            OfficeWatchdog::Watch watch(m_watchdog, static_cast<pid_t>(m_process.processId()), left,
                                        std::chrono::steady_clock::now() + left);
            if (tryConnect(local)) {
                watch.finish();
                if (m_jail) {
                    if (const qint64 inside = officeInSandbox(m_groupId.load()); inside > 0)
                        m_processId = inside;
                }
                applySettings();
                return;
            }
            if (watch.finish() != OfficeWatchdog::Verdict::Answered)
                throw gaveUp();
        }
        // A pipe that is there but not yet accepting makes no event: it is tried
        // again after a short pause.
        starting.wait(pipeThere ? kAcceptRetryMs : int(timeLeft().count()));
        if (m_process.waitForExit(0)) {
            if (m_process.exitCode() != kRestartRequested) {
                const int exitCode = m_process.exitCode();
                shutdown();
                throw AppError(QStringLiteral("The office (%1) stopped while starting, with exit code %2.")
                                   .arg(office.officeBinary, QString::number(exitCode)));
            }
            QFile::remove(m_pipe->socketPath());
            startProcess(office.officeBinary, arguments, environment);
            starting.watchProcess(m_process.processId());
        }
        if (clock.hasExpired(m_options.startTimeoutMs))
            throw gaveUp();
    }
}

bool OfficeConnection::pipeIsReady()
{
    try {
        return m_pipe->isOwnSocket();
    } catch (const AppError &) {
        shutdown();
        throw;
    }
}

void OfficeConnection::applySettings()
{
    try {
        watched(QStringLiteral("The office refused its settings"),
                [&] { applyOfficeSettings(m_remote, m_options.tunedProfile); });
    } catch (const AppError &error) {
        // Conversions work without them; an office that has stopped answering
        // shows at the next call.
        qWarning("%s", qPrintable(error.description()));
    }
}

bool OfficeConnection::tryConnect(const css::uno::Reference<css::uno::XComponentContext> &local)
{
    const QString url =
        QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(m_pipe->connectName());
    try {
        return officeCall(QStringLiteral("The office could not be reached"), [&] {
            try {
                const auto resolver = css::bridge::UnoUrlResolver::create(local);
                m_remote.set(resolver->resolve(toOUString(url)), css::uno::UNO_QUERY_THROW);
                return true;
            } catch (const css::connection::NoConnectException &) {
                return false; // not accepting yet
            }
        });
    } catch (const AppError &) {
        // Dropped while starting (the office may be about to restart itself).
        m_remote.clear();
        return false;
    }
}

DocumentOverLimit OfficeConnection::overLimit(const QString &failure) const
{
    const qint64 seconds = std::chrono::duration_cast<std::chrono::seconds>(m_documentLimit).count();
    const QString limit = seconds % 60 == 0 && seconds >= 120 ? QStringLiteral("%1 minutes").arg(seconds / 60)
                          : seconds == 1                      ? QStringLiteral("1 second")
                                                              : QStringLiteral("%1 seconds").arg(seconds);
    return DocumentOverLimit(
        QStringLiteral("%1: the office worked on the document for longer than its limit of %2, so it was ended.")
            .arg(failure, limit));
}

AppError OfficeConnection::timedOut(const QString &failure, std::chrono::milliseconds timeout)
{
    // One arg() call: a "%1" in the failure (a file name) stays as it is.
    return AppError(QStringLiteral("%1: the office suite did not answer within %2 seconds, so it was ended.")
                        .arg(failure, QString::number(timeout.count() / 1000.0)));
}
