#include "serve/RunService.h"

#include "convert/office/OfficeAccount.h"
#include "convert/office/OfficeConfinement.h"
#include "convert/office/OfficeInstallation.h"
#include "convert/office/OfficeProfile.h"
#include "core/ProgramCache.h"
#include "serve/ActivatedSocket.h"
#include "serve/BodiesFolder.h"
#include "serve/ConversionService.h"
#include "serve/HttpService.h"
#include "serve/ListenSocket.h"
#include "serve/ServeOptions.h"
#include "serve/ServiceLog.h"
#include "serve/ServiceMetrics.h"
#include "serve/ServiceTies.h"
#include "serve/UserServicePlace.h"
#include "serve/UserServiceStart.h"
#include "util/AppError.h"
#include "util/PrintableName.h"
#include "util/ProcessHandle.h"
#include "util/StopSignals.h"
#include "util/SystemError.h"
#include "util/UnixSocket.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonValue>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int kBadUsage = 2;
// The longest --stop waits for the service to end.
constexpr int kStopWaitMs = 30000;
// Between looks at the service's socket and program.
constexpr int kTiesLookMs = 1000;

// What a service killed outright left: a socket nothing answers on, a lock nobody
// holds. A socket that answers (systemd's) stays.
void removeLeftOvers()
{
    const QByteArray socket = QFile::encodeName(UserServiceSocket());
    if (const FileDescriptor probe(ConnectUnixSocket(socket)); probe.get() < 0 && errno == ECONNREFUSED)
        SocketFile(socket).remove();
    if (QFileInfo::exists(QDir(UserServiceFolder()).filePath(QStringLiteral("serve.lock"))))
        UserServiceLock::take(false); // and lets go at once, which removes it
}

// The service's offices have profile folders of their own beside the window's and
// the batch's, so that none takes another's.
QString serviceProfileBase(bool user)
{
    return QFileInfo(OfficeProfile::defaultFolder())
        .dir()
        .filePath(user ? QStringLiteral("user-service-office-profile") : QStringLiteral("serve-office-profile"));
}

// `--serve --user --stop`: asks the user's service to stop, and waits, for at most
// kStopWaitMs or until a stop signal, for it to end, its requests answered and its
// offices ended. Says what it ended, or why it stopped waiting.
int stopUserService(StopSignals &stopSignals)
{
    try {
        const std::optional<pid_t> running = UserServiceLock::runningService();
        if (!running) {
            PrintProgramError(QStringLiteral("no service of this user runs."));
            removeLeftOvers();
            return 0;
        }
        // The process itself, whatever becomes of its id.
        const ProcessHandle process(*running);
        if (!process.signal(SIGTERM) && errno != ESRCH)
            throw AppError(QStringLiteral("The user's service (process %1) could not be stopped: %2.")
                               .arg(*running)
                               .arg(SystemErrorText(errno)));
        switch (process.waitForEnd(kStopWaitMs, stopSignals.descriptor())) {
        case ProcessHandle::Wait::Ended:
            PrintProgramError(QStringLiteral("the user's service (process %1) has ended, with its office.").arg(*running));
            removeLeftOvers();
            return 0;
        case ProcessHandle::Wait::Interrupted:
            PrintProgramError(QStringLiteral("stopped waiting for the user's service (process %1) to end; it was asked "
                                             "to, and ends once it has answered what it has.")
                                  .arg(*running));
            return 128 + stopSignals.caught();
        case ProcessHandle::Wait::TimedOut: break;
        }
        if (process.stopped())
            PrintProgramError(QStringLiteral("the user's service (process %1) is stopped (by SIGSTOP or a debugger) "
                                             "and did not end within %2 seconds; it was asked to, and ends once it "
                                             "is continued (kill -CONT %1), or at once with kill -KILL %1.")
                                  .arg(*running)
                                  .arg(kStopWaitMs / 1000));
        else
            PrintProgramError(QStringLiteral("the user's service (process %1) did not end within %2 seconds; it was "
                                             "asked to, and ends once it has answered what it has (kill -KILL %1 "
                                             "ends it at once).")
                                  .arg(*running)
                                  .arg(kStopWaitMs / 1000));
        return 1;
    } catch (const AppError &error) {
        PrintProgramError(error.description());
        return kBadUsage;
    }
}

// Waits for a stop signal or, with an idle exit, until no request has come for that
// long, or until the service's ties are cut; `why` and `what` say which, for the
// service log.
void waitForStop(StopSignals &stopSignals, const HttpService &http, int idleExitSeconds, const ServiceTies *ties,
                QString &why, QJsonValue &what)
{
    using namespace std::chrono;
    for (;;) {
        int waitMs = ties ? kTiesLookMs : -1;
        if (idleExitSeconds > 0) {
            const auto left = seconds(idleExitSeconds) - http.idleTime();
            if (left <= steady_clock::duration::zero()) {
                why = QStringLiteral("idle");
                what = idleExitSeconds;
                return;
            }
            const int leftMs = int(ceil<milliseconds>(left).count()) + 1;
            waitMs = waitMs < 0 ? leftMs : std::min(waitMs, leftMs);
        }
        if (const int signal = stopSignals.wait(waitMs); signal != 0) {
            why = QStringLiteral("signal");
            what = signal;
            return;
        }
        QString path;
        if (const QString cut = ties ? ties->cut(path) : QString(); !cut.isEmpty()) {
            why = cut;
            what = path;
            return;
        }
    }
}

} // namespace

bool IsServeCommand(int argc, char **argv)
{
    return argc > 1 && std::strcmp(argv[1], "--serve") == 0;
}

int RunService(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tarnwick"));
    StopSignals stopSignals;

    const auto parsed = ParseServeOptions(QCoreApplication::arguments().mid(2));
    if (const auto *usage = std::get_if<UsageError>(&parsed)) {
        PrintProgramError(usage->text);
        PrintProgramError(QStringLiteral("see tarnwick --serve --help."));
        return kBadUsage;
    }
    const ServeOptions &options = std::get<ServeOptions>(parsed);
    if (options.help) {
        std::fputs(ServeHelpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (options.stop)
        return stopUserService(stopSignals);
    // One service per user: the second says so and leaves. A service that was given
    // its socket waits for one that is ending to be gone.
    std::optional<ActivatedSocket> activated;
    std::optional<UserServiceLock> userLock;
    try {
        activated = TakeActivatedSocket();
        if (options.user) {
            userLock = UserServiceLock::take(activated.has_value());
            if (!userLock) {
                PrintProgramError(QStringLiteral("the user's service runs already, on %1.").arg(UserServiceSocket()));
                return 0;
            }
        }
    } catch (const AppError &error) {
        PrintProgramError(error.description());
        return kBadUsage;
    }
    UnoOfficeOptions officeOptions = UnoOfficeOptions::defaults();
    officeOptions.profileDir = serviceProfileBase(options.user);
    officeOptions.callTimeoutMs = options.timeoutSeconds * 1000;
    officeOptions.documentLimitMs = options.documentLimitSeconds * 1000;
    officeOptions.requireConfinement = options.requireConfinement;
    // Request bodies live in a folder only this user can enter, one folder each.
    std::unique_ptr<BodiesFolder> bodies;
    std::unique_ptr<ListenSocket> listening;
    try {
        MakeProgramCacheFolder();
        OfficeAccount::require(officeOptions.accountWrapperSearchPath);
        findOffice(officeOptions.officeSearchPath, officeOptions.programDir);
        if (options.requireConfinement && !OfficeConfinementHere().available)
            throw RefusalError(UnconfinedOfficeRefusal(OfficeConfinementHere()));
        bodies = std::make_unique<BodiesFolder>();
        if (!activated) {
            ServeOptions where = options;
            if (options.user)
                where.socketPath = UserServiceSocket();
            listening = std::make_unique<ListenSocket>(where);
        }
    } catch (const AppError &error) {
        PrintProgramError(error.description());
        return kBadUsage;
    }
    if (bodies->removedLeftOvers() > 0)
        LogLine({{QStringLiteral("event"), QStringLiteral("removed-leftovers")},
                 {QStringLiteral("folders"), bodies->removedLeftOvers()}});

    ServiceMetrics metrics;
    const ConfinementHere &confinement = OfficeConfinementHere();
    metrics.setOfficeConfined(confinement.available);
    if (!confinement.available)
        LogLine({{QStringLiteral("event"), QStringLiteral("unconfined")},
                 {QStringLiteral("reason"), UnconfinedOfficeNotice(confinement)}});
    ConversionService conversions(officeOptions, options.jobs, options.queuePlaces, metrics);
    std::unique_ptr<HttpService> http;
    try {
        http = std::make_unique<HttpService>(conversions, metrics, bodies->path(), options);
        http->start(activated ? activated->fd : listening->takeFd());
    } catch (const AppError &error) {
        PrintProgramError(error.description());
        return kBadUsage;
    }
    LogLine({{QStringLiteral("event"), QStringLiteral("listening")},
             {QStringLiteral("address"), activated ? activated->address : listening->address()},
             {QStringLiteral("jobs"), options.jobs},
             {QStringLiteral("idle_exit"), options.idleExitSeconds}});
    // The user's service keeps to its socket's file (one a call made, or its own;
    // systemd keeps its own) and to its program.
    std::optional<ServiceTies> ties;
    if (options.user) {
        SocketFile socket;
        if (listening)
            socket = listening->takeSocketFile();
        else if (activated->name == kSocketOfCall && activated->address.startsWith(QLatin1String("unix:")))
            socket = SocketFile(QFile::encodeName(activated->address.mid(5)));
        ties.emplace(std::move(socket));
    }
    QString why;
    QJsonValue what;
    waitForStop(stopSignals, *http, options.idleExitSeconds, ties ? &*ties : nullptr, why, what);
    // In order: no new connection, the requests under way answered, the offices
    // ended. A second signal ends the program at once.
    LogLine({{QStringLiteral("event"), QStringLiteral("stopping")}, {why, what}});
    http->stopAccepting();
    http->waitForRequests();
    conversions.finish();
    http->stop();
    LogLine({{QStringLiteral("event"), QStringLiteral("stopped")}});
    return 0;
}
