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
#include "serve/UserServicePlace.h"
#include "util/AppError.h"
#include "util/PrintableName.h"
#include "util/StopSignals.h"
#include "util/SystemError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kBadUsage = 2;
// After its lock, the longest a stopped service's process is waited for.
constexpr int kProcessEndMs = 10000;

// The service's offices have profile folders of their own beside the window's and
// the batch's, so that none takes another's.
QString serviceProfileBase(bool user)
{
    return QFileInfo(OfficeProfile::defaultFolder())
        .dir()
        .filePath(user ? QStringLiteral("user-service-office-profile") : QStringLiteral("serve-office-profile"));
}

// `--serve --user --stop`: asks the user's service to stop, and returns once it has
// ended, its requests answered and its offices ended.
int stopUserService()
{
    try {
        const std::optional<pid_t> running = UserServiceLock::runningService();
        if (!running) {
            PrintProgramError(QStringLiteral("no service of this user runs."));
            return 0;
        }
        // The process itself, whatever becomes of its id: the lock goes a moment
        // before the process does, and the stop returns once both are gone.
        const FileDescriptor process(int(::syscall(SYS_pidfd_open, *running, 0)));
        if (::kill(*running, SIGTERM) != 0 && errno != ESRCH)
            throw AppError(QStringLiteral("The user's service (process %1) could not be stopped: %2.")
                               .arg(*running)
                               .arg(SystemErrorText(errno)));
        UserServiceLock::waitForEnd();
        pollfd ended{process.get(), POLLIN, 0};
        while (process.get() >= 0 && ::poll(&ended, 1, kProcessEndMs) < 0 && errno == EINTR) {
        }
        return 0;
    } catch (const AppError &error) {
        PrintProgramError(error.description());
        return kBadUsage;
    }
}

// Waits for a stop signal or, with an idle exit, until no request has come for that
// long. Returns the signal, or 0 for the idle exit.
int waitForStop(StopSignals &stopSignals, const HttpService &http, int idleExitSeconds)
{
    using namespace std::chrono;
    for (;;) {
        if (idleExitSeconds <= 0) {
            if (const int signal = stopSignals.wait(-1); signal != 0)
                return signal;
            continue;
        }
        const auto left = seconds(idleExitSeconds) - http.idleTime();
        if (left <= steady_clock::duration::zero())
            return 0;
        if (const int signal = stopSignals.wait(int(ceil<milliseconds>(left).count()) + 1); signal != 0)
            return signal;
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
        return stopUserService();
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
    const int signal = waitForStop(stopSignals, *http, options.idleExitSeconds);
    // In order: no new connection, the requests under way answered, the offices
    // ended. A second signal ends the program at once.
    LogLine({{QStringLiteral("event"), QStringLiteral("stopping")},
             {signal != 0 ? QStringLiteral("signal") : QStringLiteral("idle"),
              signal != 0 ? signal : options.idleExitSeconds}});
    http->stopAccepting();
    http->waitForRequests();
    conversions.finish();
    http->stop();
    LogLine({{QStringLiteral("event"), QStringLiteral("stopped")}});
    return 0;
}
