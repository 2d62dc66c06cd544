#include "batch/RunBatch.h"

#include "batch/BatchJob.h"
#include "batch/BatchOptions.h"
#include "batch/BatchReport.h"
#include "batch/ConsoleDialogs.h"
#include "batch/JsonLinesReport.h"
#include "batch/PathList.h"
#include "batch/PrintableName.h"
#include "batch/ProgramInfo.h"
#include "batch/StopSignals.h"
#include "batch/TargetFolders.h"
#include "batch/UpToDate.h"
#include "batch/WorkList.h"
#include "batch/WorkQueue.h"
#include "convert/TargetFile.h"
#include "convert/office/OfficeAccount.h"
#include "convert/office/OfficeInstallation.h"
#include "convert/office/OfficeProfile.h"
#include "core/ProgramCache.h"
#include "util/AppError.h"
#include "util/PathHelpers.h"
#include "util/StandardStreams.h"
#include "util/SystemError.h"
#include "util/WriteAll.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kBadUsage = 2;
constexpr int kProgressIntervalMs = 200;

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
// signal, or 0. The wait ends as soon as the last job does: each job's thread
// says so on `jobEnded` (an eventfd), so that no call waits out a redraw's interval.
int waitForJobs(const std::vector<std::unique_ptr<QThread>> &threads,
                const std::vector<std::unique_ptr<BatchJob>> &jobs, WorkQueue &queue, BatchReport &report,
                StopSignals &stopSignals, int jobEnded)
{
    int stopSignal = 0;
    eventfd_t ended = 0; // jobs whose work is done; their threads end right after
    while (ended < threads.size()) {
        pollfd events[2] = {{jobEnded, POLLIN, 0}, {stopSignal == 0 ? stopSignals.descriptor() : -1, POLLIN, 0}};
        ::poll(events, 2, kProgressIntervalMs);
        eventfd_t more = 0;
        if (::eventfd_read(jobEnded, &more) == 0)
            ended += more;
        if (std::all_of(threads.begin(), threads.end(), [](const auto &thread) { return thread->isFinished(); }))
            break;
        if (stopSignal == 0)
            stopSignal = stopSignals.caught();
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

// Ends a run that cannot go on once its report has begun: why, first, then the
// summary (and the report file's last line); exit status 2.
int stopRun(BatchReport &report, const QString &why)
{
    PrintProgramError(why);
    report.finish();
    return kBadUsage;
}

// The text file's bytes, as they are, on standard output; throws AppError when
// they cannot all go there.
void copyToStdout(const QString &textFile, int stop)
{
    if (StandardStreamWasClosed(STDOUT_FILENO))
        throw AppError(QStringLiteral("standard output is closed, so the text went nowhere."));
    QFile file(textFile);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("the text could not be read back: %1.").arg(file.errorString()));
    const QByteArray bytes = file.readAll();
    if (!WriteAllUnlessStopped(STDOUT_FILENO, bytes.constData(), size_t(bytes.size()), stop))
        throw AppError(QStringLiteral("the text could not be written to standard output: %1.")
                           .arg(errno == EINTR ? QStringLiteral("its reader took no more before the stop")
                                               : SystemErrorText(errno)));
}

// What killed runs left beside the text files this one writes or keeps.
void removeStalePartialFiles(const QList<BatchDocument> &documents, BatchReport &report)
{
    QSet<QString> folders;
    for (const BatchDocument &document : documents)
        folders.insert(QFileInfo(document.target).absolutePath());
    int removed = 0;
    for (const QString &folder : std::as_const(folders))
        removed += RemoveStaleTemporaryFiles(folder);
    if (removed > 0)
        report.note(QStringLiteral("removed %1 hidden partial text %2 (.tarnwick-*.part) that stopped runs had "
                                   "left beside the text files.")
                        .arg(removed)
                        .arg(removed == 1 ? QStringLiteral("file") : QStringLiteral("files")));
}

// A stop before the work was known: nothing was converted, no report was made.
int stoppedBeforeWork(int signal, const QString &during)
{
    PrintProgramError(QStringLiteral("stopped by %1 %2; no document was converted.").arg(SignalName(signal), during));
    return 128 + signal;
}

// The arguments that are not valid UTF-8 by the text Qt made of them (each
// such byte a U+FFFD), in the order given: a path the program could not give back
// to the system, which is named as the bytes it is.
QHash<QString, QList<QByteArray>> argumentsNotUtf8(int argc, char **argv)
{
    QHash<QString, QList<QByteArray>> found;
    for (int i = 2; i < argc; ++i) {
        if (!IsUtf8(QByteArrayView(argv[i])))
            found[QString::fromLocal8Bit(argv[i])].append(QByteArray(argv[i]));
    }
    return found;
}

// The paths to look for, from the command line and the --files-from list. Those
// that are not valid UTF-8 go to `failed` under their own bytes. Throws AppError
// when the list cannot be read.
QStringList givenPaths(const BatchOptions &options, QHash<QString, QList<QByteArray>> notUtf8, int stop,
                       QList<FailedPath> &failed)
{
    QStringList paths;
    for (const QString &path : options.paths) {
        if (auto invalid = notUtf8.find(path); invalid != notUtf8.end() && !invalid->isEmpty())
            failed.append(UnaddressablePath(invalid->takeFirst()));
        else
            paths << path;
    }
    if (options.filesFrom.isEmpty())
        return paths;
    for (const QByteArray &path : ReadPathList(options.filesFrom, options.nullSeparated, stop)) {
        if (IsUtf8(path))
            paths << QString::fromUtf8(path);
        else
            failed.append(UnaddressablePath(path));
    }
    return paths;
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
    const int stop = stopSignals.descriptor();
    // A reader of the report or the text that goes away is a failure to write, said
    // and counted, not the end of the program with its offices and files left.
    std::signal(SIGPIPE, SIG_IGN);

    const auto parsed = ParseBatchOptions(QCoreApplication::arguments().mid(2));
    if (const auto *usage = std::get_if<UsageError>(&parsed)) {
        PrintProgramError(usage->text);
        PrintProgramError(QStringLiteral("see tarnwick --convert --help."));
        return kBadUsage;
    }
    const BatchOptions &options = std::get<BatchOptions>(parsed);
    if (options.help)
        return PrintProgramText(BatchHelpText());
    const QHash<QString, QList<QByteArray>> notUtf8 = argumentsNotUtf8(argc, argv);
    for (const auto &[value, name] : {std::pair{options.outDir, "--out"}, std::pair{options.reportFile, "--report"},
                                      std::pair{options.filesFrom, "--files-from"}}) {
        if (notUtf8.contains(value)) {
            PrintProgramError(QStringLiteral("the name given to %1 is not valid UTF-8.").arg(QLatin1String(name)));
            return kBadUsage;
        }
    }
    if (!options.outDir.isEmpty() && !QFileInfo(options.outDir).isDir()) {
        PrintProgramError(QStringLiteral("the output folder %1 does not exist.").arg(options.outDir));
        return kBadUsage;
    }
    UnoOfficeOptions officeOptions = UnoOfficeOptions::defaults();
    // What would leave the user's files or office within others' reach stops the
    // run before any office starts, any document is read or the report file is made.
    try {
        MakeProgramCacheFolder();
        OfficeAccount::require(officeOptions.accountWrapperSearchPath);
    } catch (const AppError &error) {
        PrintProgramError(error.description());
        return kBadUsage;
    }
    // --stdout: the text file goes into a private folder of ours (0700), from where
    // it is copied out; nothing is written beside the document.
    std::optional<QTemporaryDir> privateFolder;
    QString outDir = options.outDir;
    if (options.toStdout) {
        privateFolder.emplace(QDir(QDir::tempPath()).filePath(QStringLiteral("tarnwick-XXXXXX")));
        if (!privateFolder->isValid()) {
            PrintProgramError(QStringLiteral("no private folder could be made for the text: %1.")
                           .arg(privateFolder->errorString()));
            return 1;
        }
        outDir = privateFolder->path();
    }
    QList<FailedPath> failed;
    QStringList paths;
    try {
        paths = givenPaths(options, notUtf8, stop, failed);
    } catch (const AppError &error) {
        if (const int signal = stopSignals.caught())
            return stoppedBeforeWork(signal, QStringLiteral("while the list of paths was read"));
        PrintProgramError(error.description());
        return kBadUsage;
    }
    officeOptions.profileDir = batchProfileBase();
    officeOptions.callTimeoutMs = options.timeoutSeconds * 1000;
    officeOptions.documentLimitMs = options.documentLimitSeconds * 1000;

    const bool quiet = options.quiet || options.toStdout;
    BatchReport report(stderr, ::isatty(STDERR_FILENO) == 1, quiet);
    report.setTargetsToStdout(options.toStdout);
    ConsoleDialogs dialogs([&](const QString &line) { report.note(line); });
    // A signal stops a long walk too; the run then ends below, before any office.
    const QList<FoundDocument> found =
        CollectDocuments(paths, options.extensions, dialogs, failed, [&] { return stopSignals.caught() != 0; });
    if (stopSignals.caught() != 0)
        report.setWalkStopped();
    WorkList work = PlanWork(found, outDir, options.mirror);

    // The report is made once the batch's own files are known, none of which it
    // may replace, and before any of them is read or written.
    std::unique_ptr<JsonLinesReport> record;
    if (!options.reportFile.isEmpty() && options.reportFile != QLatin1String("-")) {
        if (const QString clash = ReportClash(options.reportFile, work, options.filesFrom);
            !clash.isEmpty()) {
            PrintProgramError(QStringLiteral("the report %1 would replace a file of this batch (%2); nothing was "
                                      "converted.")
                           .arg(options.reportFile, clash));
            return kBadUsage;
        }
    }
    if (!options.reportFile.isEmpty()) {
        try {
            record = std::make_unique<JsonLinesReport>(options.reportFile, stop);
        } catch (const AppError &error) {
            if (const int signal = stopSignals.caught())
                return stoppedBeforeWork(signal, QStringLiteral("while the report waited for its reader"));
            PrintProgramError(error.description());
            return kBadUsage;
        }
    }
    report.setRecord(record.get());
    // The tree's folders are made before the --update check, so that a link where a
    // folder should be never passes for up to date.
    if (options.mirror)
        MakeTargetFolders(work, outDir);
    const QList<BatchDocument> upToDate = options.update ? TakeUpToDate(work.documents) : QList<BatchDocument>();
    if (options.toStdout && work.documents.size() + work.skipped.size() > 1)
        return stopRun(report, QStringLiteral("--stdout takes exactly one document; %1 were given or found.")
                                   .arg(work.documents.size() + work.skipped.size()));
    removeStalePartialFiles(work.documents + upToDate, report);
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
            // The office's own words say what is missing; this says what to do.
            return stopRun(report, QStringLiteral("%1 Converting needs LibreOffice: install the libreoffice-writer "
                                                  "package.")
                                       .arg(error.description()));
        }
    }

    WorkQueue queue(work.documents);
    SharedTextFiles textFiles(options.mirror ? outDir : QString());
    const int jobCount = int(std::min<qsizetype>(options.jobs, work.documents.size()));
    std::vector<std::unique_ptr<BatchJob>> jobs;
    std::vector<std::unique_ptr<QThread>> threads;
    const FileDescriptor jobEnded(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    for (int i = 0; i < jobCount; ++i) {
        jobs.push_back(std::make_unique<BatchJob>(officeOptions, queue, report, textFiles));
        if (options.toStdout)
            jobs.back()->setDelivery([stop](const BatchDocument &document) { copyToStdout(document.target, stop); });
        // A QThread, not a bare thread: the office's process is watched with Qt's
        // event machinery, which needs a thread Qt started.
        threads.emplace_back(QThread::create([job = jobs.back().get(), ended = jobEnded.get()] {
            job->run();
            ::eventfd_write(ended, 1);
        }));
        threads.back()->start();
    }
    const int stopSignal = waitForJobs(threads, jobs, queue, report, stopSignals, jobEnded.get());
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
    return report.finish();
}
