// The conversion path of the program against LibreOffice's own batch conversion on
// the same Writer documents, and how long the calling (window's) thread goes
// without handling an event while the office works.
//
//   bench_conversion [folder]      (default: ../shared/corpus beside the repository)
//
// Ours: "Start Converting To TXT" (ConversionRun) with a window-less RunWindow,
// dialogs that only record, the fixed waits set to 0 and the real private office
// (UnoOfficeBridge). Three runs:
//   cold     all documents in one run; new profile folder, office not running: the
//            run starts the office, which first makes its profile;
//   on, off  two offices already running, as in the program (its start-up starts
//            the office), one with the profile's speed and safety settings (on, what
//            the program uses), one without (off); document by document, each
//            document converted by both, which goes first alternating. Their texts
//            are compared byte for byte.
// Peer: `soffice --headless --convert-to txt:Text --outdir OUT files...`, at most
// 200 files a call. Two runs:
//   cold     new -env:UserInstallation folder;
//   warm     the profile made by the cold run.
// Each peer run includes the office's start; the office start alone is timed too.
// The office is never restarted for its memory here (restartAboveBytes = 0), so
// that the runs stay alike.
//
// Per file: ours from the progress of file i to that of file i+1 (cold) or the
// document's own run (on, off), and its office work: the time of its calls into the
// office; the peer from the end of the previous text file to the end of its own
// (see OfficeBatch.h). The two documents that cost most in the "on" run are
// reported apart.
//
// Window's thread: a timer ticking every 5 ms on the thread that runs the
// conversions records its worst lateness over the three runs, against the longest
// single office call (how long a window would have frozen with the calls on its
// thread). Then the same for an office stopped (SIGSTOP) during a run, until the
// watchdog ends it (bound shortened to 10 s here).
#include "BenchSupport.h"
#include "OfficeBatch.h"
#include "StallMeter.h"

#include "convert/office/OfficeInstallation.h"
#include "convert/office/UnoOfficeBridge.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <array>
#include <csignal>
#include <cstdio>

using namespace bench;

namespace {

enum Part { Start, ServiceManager, Instances, Load, Frame, Properties, Save, Close, PartCount };
const char *const PartNames[PartCount] = {"office start", "service manager", "desktop+dispatcher", "load",
                                          "controller+frame", "property values", "save (dispatch)", "close"};
using Parts = std::array<double, PartCount>;

// The real office, with the time of every call charged to the file at hand. A
// call during which a new office process came up (the first start, or a start
// after a crash or a restart) is charged to "office start".
class TimedOffice : public OfficeBridge {
private:
    void add(Part part, const QElapsedTimer &clock, qint64 pidBefore)
    {
        const qint64 pidAfter = m_office.officeProcessId();
        if (pidAfter != 0 && pidAfter != pidBefore) {
            part = Start;
            ++starts;
        }
        const double ms = clock.nsecsElapsed() / 1e6;
        longestCallMs = std::max(longestCallMs, ms);
        if (file >= 1 && file <= perFile.size())
            perFile[file - 1][part] += ms;
    }
    template <typename Call>
    auto timed(Part part, Call &&call)
    {
        const qint64 pid = m_office.officeProcessId();
        QElapsedTimer clock;
        clock.start();
        try {
            auto result = call();
            add(part, clock, pid);
            return result;
        } catch (...) {
            add(part, clock, pid);
            throw;
        }
    }

    UnoOfficeBridge &m_office;

public:
    explicit TimedOffice(UnoOfficeBridge &office, int files) : m_office(office), perFile(files, Parts{}) {}

    QList<Parts> perFile;
    int file = 0; // 1-based, set by the run window
    int starts = 0;
    double longestCallMs = 0;

    OfficeRef createServiceManager() override
    {
        return timed(ServiceManager, [&] { return m_office.createServiceManager(); });
    }
    OfficeRef createInstance(const OfficeRef &serviceManager, OfficeService name) override
    {
        return timed(Instances, [&] { return m_office.createInstance(serviceManager, name); });
    }
    OfficeRef loadComponentFromURL(const OfficeRef &desktop, const QString &url, FrameTarget frame,
                                   short flags) override
    {
        return timed(Load, [&] { return m_office.loadComponentFromURL(desktop, url, frame, flags); });
    }
    OfficeRef getCurrentController(const OfficeRef &document) override
    {
        return timed(Frame, [&] { return m_office.getCurrentController(document); });
    }
    OfficeRef getFrame(const OfficeRef &controller) override
    {
        return timed(Frame, [&] { return m_office.getFrame(controller); });
    }
    PropertyValue newPropertyValue(SaveArgument name, const QString &value) override
    {
        return timed(Properties, [&] { return m_office.newPropertyValue(name, value); });
    }
    void executeDispatch(const OfficeRef &dispatcher, const OfficeRef &frame, OfficeCommand command,
                         FrameTarget targetFrame, short flags, const QList<PropertyValue> &arguments) override
    {
        timed(Save, [&] {
            m_office.executeDispatch(dispatcher, frame, command, targetFrame, flags, arguments);
            return 0;
        });
    }
    QString detectType(const OfficeRef &serviceManager, const QString &url) override
    {
        return timed(Load, [&] { return m_office.detectType(serviceManager, url); });
    }
    OfficeRef loadWithoutView(const OfficeRef &serviceManager, const QString &url) override
    {
        return timed(Load, [&] { return m_office.loadWithoutView(serviceManager, url); });
    }
    void showInNewFrame(const OfficeRef &desktop, const OfficeRef &document) override
    {
        timed(Load, [&] {
            m_office.showInNewFrame(desktop, document);
            return 0;
        });
    }
    void lockControllers(const OfficeRef &document) override
    {
        timed(Frame, [&] {
            m_office.lockControllers(document);
            return 0;
        });
    }
    bool hasComputedText(const OfficeRef &document) override
    {
        return timed(Frame, [&] { return m_office.hasComputedText(document); });
    }
    void storeToURL(const OfficeRef &document, const QList<PropertyValue> &arguments) override
    {
        timed(Save, [&] {
            m_office.storeToURL(document, arguments);
            return 0;
        });
    }
    void close(const OfficeRef &document, bool deliverOwnership) override
    {
        timed(Close, [&] {
            m_office.close(document, deliverOwnership);
            return 0;
        });
    }
    void shutdown() override { m_office.shutdown(); }
};

struct OurRun {
    QList<double> perFileMs;
    QList<Parts> parts;
    double totalMs = 0;
    int written = 0;
    int reports = 0;
    int starts = 0;
    QStringList failed; // file names whose text file is missing
    QStringList reportLines; // "file: first line of its first report (step)"
};

int countTextFiles(const QString &folder)
{
    return int(QDir(folder).entryList({QStringLiteral("*.txt")}, QDir::Files).size());
}

OurRun runOurs(UnoOfficeBridge &office, const QStringList &documents, const QString &outDir,
              double *longestCallMs = nullptr)
{
    QDir().mkpath(outDir);
    TimedOffice timed(office, int(documents.size()));
    ListRunWindow window(documents, outDir);
    RecordingDialogs dialogs;
    ConversionRun run(window, timed, dialogs);
    run.setWaitSeconds(0);

    QElapsedTimer clock;
    QList<qint64> marks; // ns at the start of each file, then at the loop's end
    OurRun result;
    qsizetype reportsSeen = 0;
    auto noteReports = [&] {
        if (timed.file >= 1 && dialogs.errorReports.size() > reportsSeen) {
            const QString first = dialogs.errorReports[reportsSeen];
            result.reportLines.append(QStringLiteral("%1: %2 report(s), first: %3 (%4)")
                                          .arg(QFileInfo(documents[timed.file - 1]).fileName())
                                          .arg(dialogs.errorReports.size() - reportsSeen)
                                          .arg(first.section(QLatin1Char('\r'), 0, 0).trimmed())
                                          .arg(QRegularExpression(QStringLiteral("at line \\d+")).match(first).captured()));
        }
        reportsSeen = dialogs.errorReports.size();
    };
    window.onFileStart = [&](int file) {
        marks.append(clock.nsecsElapsed());
        noteReports();
        timed.file = file;
    };
    window.onLoopEnd = [&] {
        marks.append(clock.nsecsElapsed());
        noteReports();
        timed.file = 0;
    };
    clock.start();
    run.convertAll();

    result.totalMs = clock.nsecsElapsed() / 1e6;
    for (qsizetype i = 0; i + 1 < marks.size(); ++i)
        result.perFileMs.append((marks[i + 1] - marks[i]) / 1e6);
    result.parts = timed.perFile;
    result.written = countTextFiles(outDir);
    result.reports = int(dialogs.errorReports.size());
    result.starts = timed.starts;
    for (const QString &document : documents) {
        if (!QFileInfo::exists(QDir(outDir).filePath(textNameOf(document))))
            result.failed.append(QFileInfo(document).fileName());
    }
    if (dialogs.plainMessages.value(dialogs.plainMessages.size() - 1) != QLatin1String("Done."))
        std::printf("  (the run did not end with \"Done.\")\n");
    if (longestCallMs)
        *longestCallMs = std::max(*longestCallMs, timed.longestCallMs);
    return result;
}

// The office work of each file: the time of its calls into the office.
QList<double> officeWorkOf(const OurRun &run)
{
    QList<double> work;
    for (const Parts &parts : run.parts)
        work.append(std::accumulate(parts.begin(), parts.end(), 0.0));
    return work;
}

// Each document converted by both offices in a run of its own, which office goes
// first alternating from one document to the next.
std::array<OurRun, 2> runAlternated(const std::array<UnoOfficeBridge *, 2> &offices, const QStringList &documents,
                                    const std::array<QString, 2> &outDirs, double &longestCallMs)
{
    std::array<OurRun, 2> results;
    std::array<std::unique_ptr<TimedOffice>, 2> timed;
    for (int side = 0; side < 2; ++side) {
        QDir().mkpath(outDirs[side]);
        timed[side] = std::make_unique<TimedOffice>(*offices[side], int(documents.size()));
    }
    for (qsizetype i = 0; i < documents.size(); ++i) {
        for (int turn = 0; turn < 2; ++turn) {
            const int side = i % 2 == 0 ? turn : 1 - turn;
            ListRunWindow window({documents[i]}, outDirs[side]);
            RecordingDialogs dialogs;
            ConversionRun run(window, *timed[side], dialogs);
            run.setWaitSeconds(0);
            timed[side]->file = int(i) + 1;
            const double ms = millisecondsOf([&] { run.convertAll(); });
            OurRun &result = results[side];
            result.perFileMs.append(ms);
            result.totalMs += ms;
            result.reports += int(dialogs.errorReports.size());
            if (!dialogs.errorReports.isEmpty())
                result.reportLines.append(QStringLiteral("%1: %2 report(s), first: %3")
                                              .arg(QFileInfo(documents[i]).fileName())
                                              .arg(dialogs.errorReports.size())
                                              .arg(dialogs.errorReports[0].section(QLatin1Char('\r'), 0, 0)));
        }
    }
    for (int side = 0; side < 2; ++side) {
        OurRun &result = results[side];
        result.parts = timed[side]->perFile;
        result.starts = timed[side]->starts;
        result.written = countTextFiles(outDirs[side]);
        for (const QString &document : documents) {
            if (!QFileInfo::exists(QDir(outDirs[side]).filePath(textNameOf(document))))
                result.failed.append(QFileInfo(document).fileName());
        }
        longestCallMs = std::max(longestCallMs, timed[side]->longestCallMs);
    }
    return results;
}

// Documents whose text files differ between two output folders (or exist in one only).
QStringList differingTexts(const QStringList &documents, const QString &one, const QString &other)
{
    QStringList differing;
    for (const QString &document : documents) {
        QFile a(QDir(one).filePath(textNameOf(document))), b(QDir(other).filePath(textNameOf(document)));
        const bool hasA = a.open(QIODevice::ReadOnly), hasB = b.open(QIODevice::ReadOnly);
        if (hasA != hasB || (hasA && a.readAll() != b.readAll()))
            differing.append(QFileInfo(document).fileName());
    }
    return differing;
}

// The worst stall of the calling thread while a run meets an office that is stopped
// during it, until the watchdog has ended that office (and the run has gone on with
// a fresh one); against the hung call itself.
void stoppedOfficeStall(const QString &document, const QString &work)
{
    UnoOfficeOptions options = UnoOfficeOptions::defaults();
    options.profileDir = QDir(work).filePath("stopped-profile");
    options.callTimeoutMs = 10000;
    UnoOfficeBridge office(options);
    office.createServiceManager();
    TimedOffice timed(office, 1);
    ListRunWindow window({document}, QDir(work).filePath("stopped-out"));
    QDir().mkpath(QDir(work).filePath("stopped-out"));
    RecordingDialogs dialogs;
    ConversionRun run(window, timed, dialogs);
    run.setWaitSeconds(0);
    StallMeter meter;
    IdleThreadStalls idle;
    meter.start();
    ::kill(static_cast<pid_t>(office.officeProcessId()), SIGSTOP);
    const double ms = millisecondsOf([&] { run.convertAll(); });
    meter.stop();
    idle.stop();
    std::printf("\nstopped office (SIGSTOP before the run, watchdog bound 10 s): run %.1f s, %lld error report(s), "
                "text %s;\n  worst stall of the calling thread %.1f ms (%ld ticks, %ld over 100 ms) against the hung "
                "call, %.0f ms: ratio %.4f; an idle thread meanwhile: worst %.1f ms\n",
                ms / 1000, static_cast<long long>(dialogs.errorReports.size()),
                countTextFiles(QDir(work).filePath("stopped-out")) == 1 ? "written" : "not written", meter.worstMs(),
                meter.ticks(), meter.ticksLaterThan100Ms(), timed.longestCallMs,
                ratio(meter.worstMs(), timed.longestCallMs), idle.worstMs());
    office.shutdown();
}

// Statistics over the documents whose index is (or is not) in `heavy`; failed
// files (negative times) left out.
struct Stats {
    double mean = 0, median = 0, total = 0;
    int files = 0;
};

Stats statsOf(const QList<double> &perFile, const QList<qsizetype> &heavy, bool ofHeavy)
{
    QList<double> values;
    for (qsizetype i = 0; i < perFile.size(); ++i) {
        if (heavy.contains(i) == ofHeavy && perFile[i] >= 0)
            values.append(perFile[i]);
    }
    return {mean(values), median(values), sum(values), int(values.size())};
}

void printRow(const char *name, const QList<double> &perFile, double totalMs, int written, int failed,
              const QString &extra, const QList<qsizetype> &heavy)
{
    const Stats all = statsOf(perFile, {}, false);
    const Stats rest = statsOf(perFile, heavy, false);
    std::printf("%-14s %9.1f %8.1f %8.1f | %5.1f %5.1f | %8.1f %8.1f | %7d %6d  %s\n", name, totalMs / 1000,
                all.mean, all.median, heavy.size() > 0 ? perFile.value(heavy[0]) / 1000 : 0,
                heavy.size() > 1 ? perFile.value(heavy[1]) / 1000 : 0, rest.mean, rest.median, written, failed,
                qPrintable(extra));
}

// ms of `soffice --headless --terminate_after_init` with that profile.
double officeStartAlone(const QString &soffice, const QString &profile)
{
    return millisecondsOf([&] {
        QProcess office;
        office.setStandardOutputFile(QProcess::nullDevice());
        office.setStandardErrorFile(QProcess::nullDevice());
        office.start(soffice, {QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
                               QStringLiteral("--headless"), QStringLiteral("--terminate_after_init")});
        office.waitForFinished(-1);
    });
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // progress shows when written to a file
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QDir(TARNWICK_SOURCE_DIR).absoluteFilePath("../shared/corpus");
    QStringList documents;
    for (const QString &name : QDir(folder).entryList({"*.odt", "*.ott", "*.sxw", "*.stw"}, QDir::Files, QDir::Name))
        documents.append(QDir(folder).absoluteFilePath(name));
    if (documents.isEmpty()) {
        std::fprintf(stderr, "No Writer documents in %s\n", qPrintable(folder));
        return 1;
    }
    const QString soffice = QDir(findOffice(defaultOfficeSearchPath()).programDir).filePath("soffice");
    QTemporaryDir work;
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));
    std::printf("%lld documents in %s; work folder %s\n\n", static_cast<long long>(documents.size()),
                qPrintable(folder), qPrintable(work.path()));

    // The runs follow each other on their offices: no restart after so many
    // documents in the middle of one of them.
    UnoOfficeOptions onOptions = UnoOfficeOptions::defaults();
    onOptions.profileDir = work.filePath("ours-profile");
    setRestartAbove(onOptions, 0);
    UnoOfficeOptions offOptions = onOptions;
    offOptions.profileDir = work.filePath("ours-profile-off");
    offOptions.tunedProfile = false;
    UnoOfficeBridge office(onOptions), officeOff(offOptions);

    StallMeter meter;
    auto idle = std::make_unique<IdleThreadStalls>();
    double longestCallMs = 0;
    meter.start();
    std::printf("ours: cold run...\n");
    const OurRun oursCold = runOurs(office, documents, work.filePath("ours-cold"), &longestCallMs);
    std::printf("ours: settings on and off, alternated document by document...\n");
    officeOff.createServiceManager();
    const auto [oursOn, oursOff] = runAlternated({&office, &officeOff}, documents,
                                                 {work.filePath("ours-on"), work.filePath("ours-off")}, longestCallMs);
    meter.stop();
    idle->stop();
    const double worstStallMs = meter.worstMs();
    const long ticks = meter.ticks(), ticksOver100 = meter.ticksLaterThan100Ms();
    office.shutdown();
    officeOff.shutdown();

    std::printf("peer: cold run...\n");
    const QString peerProfile = work.filePath("peer-profile");
    const BatchRun peerCold = runOfficeBatch(soffice, peerProfile, documents, work.filePath("peer-cold"), 200);
    std::printf("peer: warm run...\n");
    const BatchRun peerWarm = runOfficeBatch(soffice, peerProfile, documents, work.filePath("peer-warm"), 200);

    // The office start alone, each way, three times.
    QList<double> oursStartCold, oursStartWarm, peerStartCold, peerStartWarm;
    for (int n = 0; n < 3; ++n) {
        UnoOfficeOptions fresh = UnoOfficeOptions::defaults();
        fresh.profileDir = work.filePath(QStringLiteral("start-ours-%1").arg(n));
        UnoOfficeBridge starter(fresh);
        oursStartCold.append(millisecondsOf([&] { starter.createServiceManager(); }));
        starter.shutdown();
        oursStartWarm.append(millisecondsOf([&] { starter.createServiceManager(); }));
        starter.shutdown();
        const QString profile = work.filePath(QStringLiteral("start-peer-%1").arg(n));
        peerStartCold.append(officeStartAlone(soffice, profile));
        peerStartWarm.append(officeStartAlone(soffice, profile));
    }

    // The two heaviest documents, by what they cost in our "on" run.
    QList<qsizetype> order(documents.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](qsizetype a, qsizetype b) { return oursOn.perFileMs.value(a) > oursOn.perFileMs.value(b); });
    const QList<qsizetype> heavy = order.mid(0, 2);
    const qsizetype restCount = documents.size() - heavy.size();

    std::printf("\nheavy 1 = %s, heavy 2 = %s; \"other\" = the other %lld documents\n",
                qPrintable(QFileInfo(documents[heavy[0]]).fileName()),
                qPrintable(QFileInfo(documents[heavy[1]]).fileName()), static_cast<long long>(restCount));
    std::printf("times: total and heavy in s, the rest in ms. A document the peer wrote no text file for has no time\n"
                "of its own (it falls to the next one); ours keeps its time, failed or not.\n\n");
    std::printf("%-14s %9s %8s %8s | %5s %5s | %8s %8s | %7s %6s\n", "run", "total s", "mean ms", "median", "hvy1",
                "hvy2", "oth mean", "oth med", "written", "failed");
    auto ours = [&](const char *name, const OurRun &run) {
        printRow(name, run.perFileMs, run.totalMs, run.written, int(run.failed.size()),
                 QStringLiteral("%1 error reports, %2 office starts").arg(run.reports).arg(run.starts), heavy);
    };
    auto peer = [&](const char *name, const BatchRun &run) {
        QStringList codes;
        for (int code : run.exitCodes)
            codes.append(QString::number(code));
        printRow(name, run.perFileMs, run.totalMs, run.written, int(documents.size()) - run.written,
                 QStringLiteral("exit codes %1").arg(codes.join(',')), heavy);
    };
    ours("ours cold", oursCold);
    ours("ours on", oursOn);
    ours("ours off", oursOff);
    const QList<double> workOn = officeWorkOf(oursOn), workOff = officeWorkOf(oursOff);
    printRow("office work on", workOn, sum(workOn), oursOn.written, int(oursOn.failed.size()),
             QStringLiteral("(the calls into the office alone)"), heavy);
    printRow("office work off", workOff, sum(workOff), oursOff.written, int(oursOff.failed.size()), {}, heavy);
    peer("peer cold", peerCold);
    peer("peer warm", peerWarm);

    std::printf("\noffice start alone (mean of 3): ours (bridge, to its pipe answering) cold %.0f ms, warm %.0f ms; "
                "peer (soffice --terminate_after_init) cold %.0f ms, warm %.0f ms\n",
                mean(oursStartCold), mean(oursStartWarm), mean(peerStartCold), mean(peerStartWarm));

    auto ratios = [&](const char *name, const QList<double> &o, double oTotalMs, const QList<double> &p,
                      double pTotalMs) {
        const Stats oAll = statsOf(o, {}, false), pAll = statsOf(p, {}, false);
        const Stats oRest = statsOf(o, heavy, false), pRest = statsOf(p, heavy, false);
        const Stats oHeavy = statsOf(o, heavy, true), pHeavy = statsOf(p, heavy, true);
        std::printf("%-26s total %.2f  mean %.2f  median %.2f | heavy two %.2f | other mean %.2f median %.2f\n",
                    name, ratio(oTotalMs, pTotalMs), ratio(oAll.mean, pAll.mean), ratio(oAll.median, pAll.median),
                    ratio(oHeavy.total, pHeavy.total), ratio(oRest.mean, pRest.mean),
                    ratio(oRest.median, pRest.median));
    };
    std::printf("\nratios (below 1: the first is faster)\n");
    ratios("ours cold/peer cold", oursCold.perFileMs, oursCold.totalMs, peerCold.perFileMs, peerCold.totalMs);
    ratios("ours on/peer warm", oursOn.perFileMs, oursOn.totalMs, peerWarm.perFileMs, peerWarm.totalMs);
    ratios("ours off/peer warm", oursOff.perFileMs, oursOff.totalMs, peerWarm.perFileMs, peerWarm.totalMs);
    ratios("office work on/peer warm", workOn, sum(workOn), peerWarm.perFileMs, peerWarm.totalMs);
    ratios("office work off/peer warm", workOff, sum(workOff), peerWarm.perFileMs, peerWarm.totalMs);
    ratios("office work on/off", workOn, sum(workOn), workOff, sum(workOff));
    const QStringList differing = differingTexts(documents, work.filePath("ours-on"), work.filePath("ours-off"));
    const QStringList differingCold = differingTexts(documents, work.filePath("ours-on"), work.filePath("ours-cold"));
    std::printf("texts, settings on against off: %lld of %lld documents byte-identical%s%s; on against cold: %lld "
                "differ\n",
                static_cast<long long>(documents.size() - differing.size()), static_cast<long long>(documents.size()),
                differing.isEmpty() ? "" : ", differing: ", qPrintable(differing.join(", ")),
                static_cast<long long>(differingCold.size()));

    std::printf("\nthe eight documents that cost most in the on run, s: ours on (its load, controller+frame,\n"
                "save, close) | ours off | peer warm | ratio on/peer\n");
    for (qsizetype rank = 0; rank < std::min<qsizetype>(8, order.size()); ++rank) {
        const qsizetype i = order[rank];
        const Parts &parts = oursOn.parts.value(i);
        std::printf("  %-34s %6.2f (%5.2f %5.2f %5.2f %5.2f) | %6.2f | %6.2f | %5.2f\n",
                    qPrintable(QFileInfo(documents[i]).fileName()), oursOn.perFileMs.value(i) / 1000,
                    parts[Load] / 1000, parts[Frame] / 1000, parts[Save] / 1000, parts[Close] / 1000,
                    oursOff.perFileMs.value(i) / 1000, peerWarm.perFileMs.value(i) / 1000,
                    ratio(oursOn.perFileMs.value(i), peerWarm.perFileMs.value(i)));
    }

    std::printf("\nwhere our time goes: heavy two s | other s, other median ms a file | all s\n");
    const std::array<std::pair<const char *, const OurRun *>, 3> ourRuns{
        {{"cold", &oursCold}, {"on", &oursOn}, {"off", &oursOff}}};
    for (const auto &[name, run] : ourRuns) {
        std::printf("  %s:\n", name);
        for (int part = 0; part < PartCount; ++part) {
            double inHeavy = 0, inRest = 0;
            QList<double> restFiles;
            for (qsizetype i = 0; i < run->parts.size(); ++i) {
                (heavy.contains(i) ? inHeavy : inRest) += run->parts[i][part];
                if (!heavy.contains(i))
                    restFiles.append(run->parts[i][part]);
            }
            std::printf("    %-20s %7.2f | %7.2f %7.1f | %7.2f\n", PartNames[part], inHeavy / 1000, inRest / 1000,
                        median(restFiles), (inHeavy + inRest) / 1000);
        }
    }
    for (const auto &[name, run] : ourRuns) {
        if (!run->failed.isEmpty())
            std::printf("ours %s: no text file for %s\n", name, qPrintable(run->failed.join(", ")));
        for (const QString &line : run->reportLines)
            std::printf("  %s\n", qPrintable(line));
    }
    const std::array<std::pair<const char *, const BatchRun *>, 2> peerRuns{{{"cold", &peerCold}, {"warm", &peerWarm}}};
    for (const auto &[name, run] : peerRuns) {
        QStringList missing;
        for (qsizetype i = 0; i < documents.size(); ++i) {
            if (run->perFileMs[i] < 0)
                missing.append(QFileInfo(documents[i]).fileName());
        }
        if (!missing.isEmpty())
            std::printf("peer %s: no text file for %s\n", name, qPrintable(missing.join(", ")));
    }

    std::printf("\nwindow's thread over the cold, on and off runs: worst stall %.1f ms (%ld ticks of 5 ms, %ld over 100 "
                "ms) against the longest office call, %.0f ms: ratio %.4f;\n  an idle thread meanwhile: worst %.1f ms "
                "(%ld wakes over 100 ms late)\n",
                worstStallMs, ticks, ticksOver100, longestCallMs, ratio(worstStallMs, longestCallMs), idle->worstMs(),
                idle->wakesLaterThan100Ms());
    stoppedOfficeStall(documents[0], work.path());
    std::printf("load average at end: %s\n", qPrintable(loadAverage()));
    return 0;
}
