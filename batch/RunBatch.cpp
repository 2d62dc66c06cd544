#include "batch/RunBatch.h"

#include "batch/BatchJob.h"
#include "batch/BatchOptions.h"
#include "batch/BatchReport.h"
#include "batch/ConsoleDialogs.h"
#include "batch/PrintableName.h"
#include "batch/WorkList.h"
#include "batch/WorkQueue.h"
#include "convert/office/OfficeInstallation.h"
#include "convert/office/OfficeProfile.h"
#include "util/AppError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kBadUsage = 2;
constexpr int kProgressIntervalMs = 200;

void printError(const QString &text)
{
    std::fputs(("tarnwick: " + PrintableText(text) + "\n").toLocal8Bit().constData(), stderr);
}

// The profile folders of the batch's offices sit beside the window's office's
// (office-profile, office-profile-2...) under a name of their own, so that
// neither ever takes the other's.
QString batchProfileBase()
{
    return QFileInfo(OfficeProfile::defaultFolder()).dir().filePath(QStringLiteral("batch-office-profile"));
}

} // namespace

bool IsBatchCommand(int argc, char **argv)
{
    return argc > 1 && std::strcmp(argv[1], "--convert") == 0;
}

int RunBatch(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tarnwick"));

    const auto parsed = ParseBatchOptions(QCoreApplication::arguments().mid(2));
    if (const auto *usage = std::get_if<UsageError>(&parsed)) {
        printError(usage->text);
        printError(QStringLiteral("see tarnwick --convert --help."));
        return kBadUsage;
    }
    const BatchOptions &options = std::get<BatchOptions>(parsed);
    if (options.help) {
        std::fputs(BatchHelpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!options.outDir.isEmpty() && !QFileInfo(options.outDir).isDir()) {
        printError(QStringLiteral("the output folder %1 does not exist.").arg(options.outDir));
        return kBadUsage;
    }
    UnoOfficeOptions officeOptions = UnoOfficeOptions::defaults();
    try {
        findOffice(officeOptions.officeSearchPath, officeOptions.programDir);
    } catch (const AppError &error) {
        printError(QStringLiteral("no LibreOffice was found, and the conversion needs it (install the "
                                  "libreoffice-writer package). %1")
                       .arg(error.description()));
        return kBadUsage;
    }
    officeOptions.profileDir = batchProfileBase();
    officeOptions.callTimeoutMs = options.timeoutSeconds * 1000;

    BatchReport report(stderr, ::isatty(STDERR_FILENO) == 1, options.quiet);
    ConsoleDialogs dialogs([&](const QString &line) { report.note(line); });
    QList<FailedPath> failed;
    const QStringList found = CollectDocuments(options.paths, options.extensions, dialogs, failed);
    const WorkList work = PlanWork(found, options.outDir);
    for (const FailedPath &path : failed)
        report.failedPath(path.path, path.reason);
    for (const SetAside &document : work.skipped)
        report.skipped(document.path, document.reason);

    qint64 bytes = 0;
    for (const BatchDocument &document : work.documents)
        bytes += document.size;
    report.begin(int(work.documents.size()), bytes);

    WorkQueue queue(work.documents);
    SharedTextFiles textFiles;
    const int jobCount = int(std::min<qsizetype>(options.jobs, work.documents.size()));
    std::vector<std::unique_ptr<BatchJob>> jobs;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < jobCount; ++i) {
        jobs.push_back(std::make_unique<BatchJob>(officeOptions, queue, report, textFiles));
        // A QThread, not a bare thread: the office's process is watched with Qt's
        // event machinery, which needs a thread Qt started.
        threads.emplace_back(QThread::create([job = jobs.back().get()] { job->run(); }));
        threads.back()->start();
    }
    for (const auto &thread : threads) {
        while (!thread->wait(kProgressIntervalMs))
            report.tick();
    }
    QString startFailure;
    int started = 0;
    for (const auto &job : jobs) {
        if (job->startFailure().isEmpty())
            ++started;
        else
            startFailure = job->startFailure();
    }
    if (!jobs.empty() && started == 0) {
        report.finish();
        printError(QStringLiteral("the office could not be started, so no document was converted. %1")
                       .arg(startFailure));
        return kBadUsage;
    }
    if (started < int(jobs.size()))
        report.note(QStringLiteral("%1 of %2 offices could not be started (%3); the others did the work.")
                        .arg(int(jobs.size()) - started)
                        .arg(jobs.size())
                        .arg(startFailure));
    return report.finish();
}
