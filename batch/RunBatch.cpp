#include "batch/RunBatch.h"

#include "batch/BatchJob.h"
#include "batch/BatchOptions.h"
#include "batch/BatchReport.h"
#include "batch/ConsoleDialogs.h"
#include "batch/JsonLinesReport.h"
#include "batch/MirroredFolders.h"
#include "batch/PathList.h"
#include "batch/ProgramInfo.h"
#include "batch/UpToDate.h"
#include "batch/WorkList.h"
#include "batch/WorkQueue.h"
#include "convert/TargetFile.h"
#include "convert/office/OfficeAccount.h"
#include "convert/office/OfficeConfinement.h"
#include "convert/office/OfficeInstallation.h"
#include "convert/office/OfficeProfile.h"
#include "core/ProgramCache.h"
#include "util/AppError.h"
#include "util/PathHelpers.h"
#include "util/PrintableName.h"
#include "util/StandardStreams.h"
#include "util/StopSignals.h"
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

// Ends a run that cannot go on once its report has begun: the summary (and the
// report file's last line), then why; exit status 2.
int stopRun(BatchReport &report, const QString &why)
{
    report.finish();
    PrintProgramError(why);
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

// One run of the batch, in the order it goes: the options checked, the work
// collected, the report opened, the targets prepared, the jobs run. Each phase
// before the last gives the exit status when the run ends there.
class BatchRun {
public:
    BatchRun(int argc, char **argv, StopSignals &stopSignals)
        : m_argc(argc), m_argv(argv), m_stopSignals(stopSignals), m_stop(stopSignals.descriptor())
    {
    }

    std::optional<int> checkOptions();
    std::optional<int> collectWork();
    std::optional<int> openReport();
    std::optional<int> prepareTargets();
    int runJobs();

private:
    int m_argc;
    char **m_argv;
    StopSignals &m_stopSignals;
    int m_stop; // the stop signals' descriptor, which ends every wait
    BatchOptions m_options;
    QHash<QString, QList<QByteArray>> m_notUtf8;
    UnoOfficeOptions m_officeOptions = UnoOfficeOptions::defaults();
    std::optional<QTemporaryDir> m_privateFolder; // --stdout: where the text file is made
    QString m_outDir;
    QList<FailedPath> m_failed;
    std::unique_ptr<BatchReport> m_report;
    WorkList m_work;
    QList<BatchDocument> m_upToDate;
    std::unique_ptr<JsonLinesReport> m_record;
};

// The command line, and what would leave the user's files or office within
// others' reach: both stop the run before any office starts, any document is read
// or the report file is made.
std::optional<int> BatchRun::checkOptions()
{
    auto parsed = ParseBatchOptions(QCoreApplication::arguments().mid(2));
    if (const auto *usage = std::get_if<UsageError>(&parsed)) {
        PrintProgramError(usage->text);
        PrintProgramError(QStringLiteral("see tarnwick --convert --help."));
        return kBadUsage;
    }
    m_options = std::move(std::get<BatchOptions>(parsed));
    if (m_options.help)
        return PrintProgramText(BatchHelpText());
    m_notUtf8 = argumentsNotUtf8(m_argc, m_argv);
    for (const auto &[value, name] : {std::pair{m_options.outDir, "--out"}, std::pair{m_options.reportFile, "--report"},
                                      std::pair{m_options.filesFrom, "--files-from"}}) {
        if (m_notUtf8.contains(value)) {
            PrintProgramError(QStringLiteral("the name given to %1 is not valid UTF-8.").arg(QLatin1String(name)));
            return kBadUsage;
        }
    }
    if (!m_options.outDir.isEmpty() && !QFileInfo(m_options.outDir).isDir()) {
        PrintProgramError(QStringLiteral("the output folder %1 does not exist.").arg(m_options.outDir));
        return kBadUsage;
    }
    try {
        MakeProgramCacheFolder();
        OfficeAccount::require(m_officeOptions.accountWrapperSearchPath);
    } catch (const AppError &error) {
        PrintProgramError(error.description());
        return kBadUsage;
    }
    m_officeOptions.profileDir = batchProfileBase();
    m_officeOptions.callTimeoutMs = m_options.timeoutSeconds * 1000;
    m_officeOptions.documentLimitMs = m_options.documentLimitSeconds * 1000;
    return std::nullopt;
}

// The paths given and listed, the documents found below them, and the text file
// of each.
std::optional<int> BatchRun::collectWork()
{
    // --stdout: the text file goes into a private folder of ours (0700), from where
    // it is copied out; nothing is written beside the document.
    m_outDir = m_options.outDir;
    if (m_options.toStdout) {
        m_privateFolder.emplace(QDir(QDir::tempPath()).filePath(QStringLiteral("tarnwick-XXXXXX")));
        if (!m_privateFolder->isValid()) {
            PrintProgramError(QStringLiteral("no private folder could be made for the text: %1.")
                                  .arg(m_privateFolder->errorString()));
            return 1;
        }
        m_outDir = m_privateFolder->path();
    }
    QStringList paths;
    try {
        paths = givenPaths(m_options, m_notUtf8, m_stop, m_failed);
    } catch (const AppError &error) {
        if (const int signal = m_stopSignals.caught())
            return stoppedBeforeWork(signal, QStringLiteral("while the list of paths was read"));
        PrintProgramError(error.description());
        return kBadUsage;
    }
    const bool quiet = m_options.quiet || m_options.toStdout;
    m_report = std::make_unique<BatchReport>(stderr, ::isatty(STDERR_FILENO) == 1, quiet);
    m_report->setTargetsToStdout(m_options.toStdout);
    ConsoleDialogs dialogs([&](const QString &line) { m_report->note(line); });
    // A signal stops a long walk too; the run then ends before any office.
    const QList<FoundDocument> found = CollectDocuments(paths, m_options.extensions, dialogs, m_failed,
                                                        [&] { return m_stopSignals.caught() != 0; });
    if (m_stopSignals.caught() != 0)
        m_report->setWalkStopped();
    m_work = PlanWork(found, m_outDir, m_options.mirror);
    return std::nullopt;
}

// The report is made once the batch's own files are known, none of which it may
// replace, and before any of them is read or written.
std::optional<int> BatchRun::openReport()
{
    if (m_options.reportFile.isEmpty())
        return std::nullopt;
    if (m_options.reportFile != QLatin1String("-")) {
        if (const QString clash = ReportClash(m_options.reportFile, m_work, m_options.filesFrom); !clash.isEmpty()) {
            PrintProgramError(QStringLiteral("the report %1 would replace a file of this batch (%2); nothing was "
                                             "converted.")
                                  .arg(m_options.reportFile, clash));
            return kBadUsage;
        }
    }
    try {
        m_record = std::make_unique<JsonLinesReport>(m_options.reportFile, m_stop);
    } catch (const AppError &error) {
        if (const int signal = m_stopSignals.caught())
            return stoppedBeforeWork(signal, QStringLiteral("while the report waited for its reader"));
        PrintProgramError(error.description());
        return kBadUsage;
    }
    m_report->setRecord(m_record.get());
    return std::nullopt;
}

// The mirrored tree's folders, the documents that are up to date, the left-overs
// of stopped runs; everything not to convert is reported, then the office looked
// for, when there is something to convert.
std::optional<int> BatchRun::prepareTargets()
{
    BatchReport &report = *m_report;
    // The tree's folders are made before the --update check, so that a link where a
    // folder should be never passes for up to date.
    if (m_options.mirror)
        MakeMirroredFolders(m_work, m_outDir);
    if (m_options.update)
        m_upToDate = TakeUpToDate(m_work.documents);
    if (m_options.toStdout && m_work.documents.size() + m_work.skipped.size() > 1)
        return stopRun(report, QStringLiteral("--stdout takes exactly one document; %1 were given or found.")
                                   .arg(m_work.documents.size() + m_work.skipped.size()));
    removeStalePartialFiles(m_work.documents + m_upToDate, report);
    for (const FailedPath &path : m_failed)
        report.failedPath(path.path, path.reason);
    for (const SetAside &document : m_work.failed)
        report.failedPath(QFile::encodeName(document.path), document.reason, document.target);
    for (const SetAside &document : m_work.skipped)
        report.skipped(document);
    for (const BatchDocument &document : m_upToDate)
        report.upToDate(document);

    qint64 bytes = 0;
    for (const BatchDocument &document : m_work.documents)
        bytes += document.size;
    report.begin(int(m_work.documents.size()), bytes);
    if (const int stopSignal = m_stopSignals.caught())
        return report.finish(stopSignal);

    // No office is looked for, nor started, when nothing needs converting.
    if (!m_work.documents.isEmpty()) {
        try {
            findOffice(m_officeOptions.officeSearchPath, m_officeOptions.programDir);
        } catch (const AppError &error) {
            return stopRun(report, QStringLiteral("no LibreOffice was found, and the conversion needs it (install "
                                                  "the libreoffice-writer package). %1")
                                       .arg(error.description()));
        }
        if (const ConfinementHere &here = OfficeConfinementHere(); !here.available) {
            if (m_options.requireConfinement)
                return stopRun(report, UnconfinedOfficeRefusal(here) + QStringLiteral(" Nothing was converted."));
            report.note(UnconfinedOfficeNotice(here));
        }
        m_officeOptions.requireConfinement = m_options.requireConfinement;
    }
    return std::nullopt;
}

// One job per office, each on a thread of its own, until the work is done or a
// signal stops it; then the summary, and what the offices' starts said.
int BatchRun::runJobs()
{
    BatchReport &report = *m_report;
    WorkQueue queue(m_work.documents);
    SharedTextFiles textFiles(m_options.mirror ? m_outDir : QString());
    const int jobCount = int(std::min<qsizetype>(m_options.jobs, m_work.documents.size()));
    std::vector<std::unique_ptr<BatchJob>> jobs;
    std::vector<std::unique_ptr<QThread>> threads;
    const FileDescriptor jobEnded(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    for (int i = 0; i < jobCount; ++i) {
        jobs.push_back(std::make_unique<BatchJob>(m_officeOptions, queue, report, textFiles));
        if (m_options.toStdout)
            jobs.back()->setDelivery(
                [stop = m_stop](const BatchDocument &document) { copyToStdout(document.target, stop); });
        // A QThread, not a bare thread: the office's process is watched with Qt's
        // event machinery, which needs a thread Qt started.
        threads.emplace_back(QThread::create([job = jobs.back().get(), ended = jobEnded.get()] {
            job->run();
            ::eventfd_write(ended, 1);
        }));
        threads.back()->start();
    }
    const int stopSignal = waitForJobs(threads, jobs, queue, report, m_stopSignals, jobEnded.get());
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
    // A reader of the report or the text that goes away is a failure to write, said
    // and counted, not the end of the program with its offices and files left.
    std::signal(SIGPIPE, SIG_IGN);

    BatchRun run(argc, argv, stopSignals);
    for (const auto phase : {&BatchRun::checkOptions, &BatchRun::collectWork, &BatchRun::openReport,
                             &BatchRun::prepareTargets}) {
        if (const std::optional<int> exitStatus = (run.*phase)())
            return *exitStatus;
    }
    return run.runJobs();
}
