#include "serve/RunService.h"

#include "batch/PrintableName.h"
#include "batch/StopSignals.h"
#include "convert/office/OfficeAccount.h"
#include "convert/office/OfficeInstallation.h"
#include "convert/office/OfficeProfile.h"
#include "core/ProgramCache.h"
#include "serve/BodiesFolder.h"
#include "serve/ConversionService.h"
#include "serve/HttpService.h"
#include "serve/ListenSocket.h"
#include "serve/ServeOptions.h"
#include "serve/ServiceLog.h"
#include "serve/ServiceMetrics.h"
#include "util/AppError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kBadUsage = 2;

// The service's offices have profile folders of their own beside the window's and
// the batch's, so that none takes another's.
QString serviceProfileBase()
{
    return QFileInfo(OfficeProfile::defaultFolder()).dir().filePath(QStringLiteral("serve-office-profile"));
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
    UnoOfficeOptions officeOptions = UnoOfficeOptions::defaults();
    officeOptions.profileDir = serviceProfileBase();
    officeOptions.callTimeoutMs = options.timeoutSeconds * 1000;
    officeOptions.documentLimitMs = options.documentLimitSeconds * 1000;
    // Request bodies live in a folder only this user can enter, one folder each.
    std::unique_ptr<BodiesFolder> bodies;
    std::unique_ptr<ListenSocket> listening;
    try {
        MakeProgramCacheFolder();
        OfficeAccount::require(officeOptions.accountWrapperSearchPath);
        findOffice(officeOptions.officeSearchPath, officeOptions.programDir);
        bodies = std::make_unique<BodiesFolder>();
        listening = std::make_unique<ListenSocket>(options);
    } catch (const AppError &error) {
        PrintProgramError(error.description());
        return kBadUsage;
    }
    if (bodies->removedLeftOvers() > 0)
        LogLine({{QStringLiteral("event"), QStringLiteral("removed-leftovers")},
                 {QStringLiteral("folders"), bodies->removedLeftOvers()}});

    ServiceMetrics metrics;
    ConversionService conversions(officeOptions, options.jobs, options.queuePlaces, metrics);
    HttpService http(conversions, metrics, bodies->path(), options);
    try {
        http.start(listening->takeFd());
    } catch (const AppError &error) {
        PrintProgramError(error.description());
        return kBadUsage;
    }
    LogLine({{QStringLiteral("event"), QStringLiteral("listening")},
             {QStringLiteral("address"), listening->address()},
             {QStringLiteral("jobs"), options.jobs}});
    while (stopSignals.wait(-1) == 0) {
    }
    // In order: no new connection, the requests under way answered, the offices
    // ended. A second signal ends the program at once.
    LogLine({{QStringLiteral("event"), QStringLiteral("stopping")}, {QStringLiteral("signal"), stopSignals.caught()}});
    http.stopAccepting();
    http.waitForRequests();
    conversions.finish();
    http.stop();
    LogLine({{QStringLiteral("event"), QStringLiteral("stopped")}});
    return 0;
}
