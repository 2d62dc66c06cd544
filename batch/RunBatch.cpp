#include "batch/RunBatch.h"

#include "batch/BatchJob.h"
#include "batch/BatchOptions.h"
#include "batch/BatchReport.h"
#include "batch/ConsoleDialogs.h"
#include "batch/JsonLinesReport.h"
#include "batch/PathList.h"
#include "batch/PrintableName.h"
#include "batch/StopSignals.h"
#include "batch/TargetFolders.h"
#include "batch/UpToDate.h"
#include "batch/WorkList.h"
#include "batch/WorkQueue.h"
#include "convert/office/OfficeAccount.h"
#include "convert/office/OfficeInstallation.h"
#include "convert/office/OfficeProfile.h"
#include "core/ProgramCache.h"
#include "util/AppError.h"
#include "util/SystemError.h"
#include "util/WriteAll.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
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

// Waits for every job to end, redrawing the progress line meanwhile. A stop
// signal ends the work: no document is handed out any more and the offices are
// killed (again at every turn, for one a job started meanwhile). Returns the
// signal, or 0.
int waitForJobs(const std::vector<std::unique_ptr<QThread>> &threads,
                const std::vector<std::unique_ptr<BatchJob>> &jobs, WorkQueue &queue, BatchReport &report,
                StopSignals &stopSignals)
{
    int stopSignal = 0;
    for (;;) {
        const auto running = std::find_if(threads.begin(), threads.end(),
                                          [](const auto &thread) { return !thread->isFinished(); });
        if (running == threads.end())
            break;
        if (stopSignal == 0)
            stopSignal = stopSignals.wait(kProgressIntervalMs);
        else
            (*running)->wait(kProgressIntervalMs);
        if (stopSignal != 0) {
            queue.stop();
            for (const auto &job : jobs)
                job->stop();
        }
        report.tick();
    }
    for (const auto &thread : threads)
        thread->wait();
    return stopSignal;
}

// Ends a run that cannot go on once its report has begun: the summary (and the
// report file's last line), then why; exit status 2.
int stopRun(BatchReport &report, const QString &why)
{
    report.finish();
    printError(why);
    return kBadUsage;
}

// The text file's bytes, as they are, on standard output.
bool copyToStdout(const QString &textFile)
{
    QFile file(textFile);
    if (!file.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("the text could not be read back: %1.").arg(file.errorString()));
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (!WriteAll(STDOUT_FILENO, bytes.constData(), size_t(bytes.size()))) {
        printError(QStringLiteral("the text could not be written to standard output: %1.")
                       .arg(SystemErrorText(errno)));
        return false;
    }
    return true;
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
    StopSignals stopSignals;

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
    // What would leave the user's files or office within others' reach stops the
    // run before any office starts, any document is read or the report file is made.
    try {
        MakeProgramCacheFolder();
        OfficeAccount::require(officeOptions.accountWrapperSearchPath);
    } catch (const AppError &error) {
        printError(error.description());
        return kBadUsage;
    }
    // --stdout: the text file goes into a private folder of ours (0700), from where
    // it is copied out; nothing is written beside the document.
    std::optional<QTemporaryDir> privateFolder;
    QString outDir = options.outDir;
    if (options.toStdout) {
        privateFolder.emplace(QDir(QDir::tempPath()).filePath(QStringLiteral("tarnwick-XXXXXX")));
        if (!privateFolder->isValid()) {
            printError(QStringLiteral("no private folder could be made for the text: %1.")
                           .arg(privateFolder->errorString()));
            return 1;
        }
        outDir = privateFolder->path();
    }
    QStringList paths = options.paths;
    std::unique_ptr<JsonLinesReport> record;
    try {
        if (!options.filesFrom.isEmpty())
            paths += ReadPathList(options.filesFrom, options.nullSeparated);
        if (!options.reportFile.isEmpty())
            record = std::make_unique<JsonLinesReport>(options.reportFile);
    } catch (const AppError &error) {
        printError(error.description());
        return kBadUsage;
    }
    officeOptions.profileDir = batchProfileBase();
    officeOptions.callTimeoutMs = options.timeoutSeconds * 1000;
    officeOptions.documentLimitMs = options.documentLimitSeconds * 1000;

    const bool quiet = options.quiet || options.toStdout;
    BatchReport report(stderr, ::isatty(STDERR_FILENO) == 1, quiet);
    report.setRecord(record.get());
    report.setTargetsToStdout(options.toStdout);
    ConsoleDialogs dialogs([&](const QString &line) { report.note(line); });
    QList<FailedPath> failed;
    // A signal stops a long walk too; the run then ends below, before any office.
    const QList<FoundDocument> found =
        CollectDocuments(paths, options.extensions, dialogs, failed, [&] { return stopSignals.caught() != 0; });
    WorkList work = PlanWork(found, outDir, options.mirror);
    if (options.mirror)
        MakeTargetFolders(work, outDir);
    if (options.toStdout && work.documents.size() + work.skipped.size() > 1)
        return stopRun(report, QStringLiteral("--stdout takes exactly one document; %1 were given or found.")
                                   .arg(work.documents.size() + work.skipped.size()));
    const QList<BatchDocument> upToDate = options.update ? TakeUpToDate(work.documents) : QList<BatchDocument>();
    for (const FailedPath &path : failed)
        report.failedPath(path.path, path.reason);
    for (const SetAside &document : work.failed)
        report.failedPath(QFile::encodeName(document.path), document.reason, document.target);
    for (const SetAside &document : work.skipped)
        report.skipped(document);
    for (const BatchDocument &document : upToDate)
        report.upToDate(document);

    qint64 bytes = 0;
    for (const BatchDocument &document : work.documents)
        bytes += document.size;
    report.begin(int(work.documents.size()), bytes);
    if (const int stopSignal = stopSignals.caught())
        return report.finish(stopSignal);

    // No office is looked for, nor started, when nothing needs converting.
    if (!work.documents.isEmpty()) {
        try {
            findOffice(officeOptions.officeSearchPath, officeOptions.programDir);
        } catch (const AppError &error) {
            return stopRun(report, QStringLiteral("no LibreOffice was found, and the conversion needs it (install "
                                                  "the libreoffice-writer package). %1")
                                       .arg(error.description()));
        }
    }

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
    const int stopSignal = waitForJobs(threads, jobs, queue, report, stopSignals);
    QString startFailure;
    QString refusal;
    int started = 0;
    for (const auto &job : jobs) {
        if (job->startFailure().isEmpty())
            ++started;
        else
            startFailure = job->startFailure();
        if (job->startRefused())
            refusal = job->startFailure();
    }
    if (!refusal.isEmpty())
        return stopRun(report, refusal);
    if (stopSignal != 0)
        return report.finish(stopSignal);
    if (!jobs.empty() && started == 0)
        return stopRun(report, QStringLiteral("the office could not be started, so no document was converted. %1")
                                   .arg(startFailure));
    if (started < int(jobs.size()))
        report.note(QStringLiteral("%1 of %2 offices could not be started (%3); the others did the work.")
                        .arg(int(jobs.size()) - started)
                        .arg(jobs.size())
                        .arg(startFailure));
    const bool copied = !options.toStdout || report.convertedCount() == 0
                        || copyToStdout(work.documents.front().target);
    const int status = report.finish();
    return copied ? status : 1;
}
