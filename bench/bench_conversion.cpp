// The conversion path of the program against LibreOffice's own batch conversion on
// the same Writer documents.
//
//   bench_conversion [folder]      (default: ../shared/corpus beside the repository)
//
// Ours: "Start Converting To TXT" (ConversionRun) over all documents, with a
// window-less RunWindow, dialogs that only record, the fixed waits set to 0 and
// the real private office (UnoOfficeBridge). Four runs:
//   cold     new profile folder, office not running: the run starts the office,
//            which first makes its profile;
//   warm     the profile made by the cold run, office not running: the run starts
//            the office;
//   running  the office left running by the warm run, as in the program, whose
//            start-up starts the office before the window shows;
//   hidden   an experiment, not the program: "running" again with the documents
//            loaded with Hidden=true, as soffice --convert-to loads them.
// Peer: `soffice --headless --convert-to txt:Text --outdir OUT files...`, at most
// 200 files a call. Two runs:
//   cold     new -env:UserInstallation folder;
//   warm     the profile made by the cold run.
// Each peer run includes the office's start; the office start alone is timed too.
// The office is never restarted after so many documents here (restartAfterDocuments
// = 0), so that the four runs on one office stay alike.
//
// Per file: ours from the progress of file i to that of file i+1; the peer from
// the end of the previous text file to the end of its own (see OfficeBatch.h). The
// two documents that cost most in the "running" run are reported apart.
#include "BenchSupport.h"
#include "OfficeBatch.h"

#include "convert/office/OfficeInstallation.h"
#include "convert/office/UnoErrors.h"
#include "convert/office/UnoHandle.h"
#include "convert/office/UnoNames.h"
#include "convert/office/UnoOfficeBridge.h"
#include "convert/office/UnoString.h"
#include "util/AppError.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <array>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
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
        if (file >= 1 && file <= perFile.size())
            perFile[file - 1][part] += clock.nsecsElapsed() / 1e6;
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

    static OfficeRef loadHidden(const OfficeRef &desktop, const QString &url, FrameTarget frame, short flags)
    {
        return officeCall(QStringLiteral("The office could not load %1 hidden").arg(url), [&] {
            const auto loader = unoInterfaceOf<css::frame::XComponentLoader>(desktop, QStringLiteral("desktop"));
            css::uno::Sequence<css::beans::PropertyValue> arguments(1);
            arguments.getArray()[0].Name = "Hidden";
            arguments.getArray()[0].Value <<= true;
            const auto document = loader->loadComponentFromURL(toOUString(url), toOUString(unoFrameName(frame)), flags, arguments);
            if (!document.is())
                throw AppError(QStringLiteral("The office loaded nothing from %1.").arg(url));
            return makeUnoHandle(document);
        });
    }

    UnoOfficeBridge &m_office;

public:
    explicit TimedOffice(UnoOfficeBridge &office, int files) : m_office(office), perFile(files, Parts{}) {}

    QList<Parts> perFile;
    int file = 0; // 1-based, set by the run window
    int starts = 0;
    // An experiment, not what the program does: load with Hidden=true, as
    // `soffice --convert-to` does, to see what the visible load costs.
    bool hiddenLoad = false;

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
        return timed(Load, [&] {
            return hiddenLoad ? loadHidden(desktop, url, frame, flags)
                              : m_office.loadComponentFromURL(desktop, url, frame, flags);
        });
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

OurRun runOurs(UnoOfficeBridge &office, const QStringList &documents, const QString &outDir, bool hidden = false)
{
    QDir().mkpath(outDir);
    TimedOffice timed(office, int(documents.size()));
    timed.hiddenLoad = hidden;
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
    return result;
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

    UnoOfficeOptions options = UnoOfficeOptions::defaults();
    options.profileDir = work.filePath("ours-profile");
    // The runs follow each other on one office: no restart after so many documents
    // in the middle of one of them.
    setRestartAfter(options, 0);
    UnoOfficeBridge office(options);
    std::printf("ours: cold run...\n");
    const OurRun oursCold = runOurs(office, documents, work.filePath("ours-cold"));
    office.shutdown();
    std::printf("ours: warm run...\n");
    const OurRun oursWarm = runOurs(office, documents, work.filePath("ours-warm"));
    std::printf("ours: running run...\n");
    const OurRun oursRunning = runOurs(office, documents, work.filePath("ours-running"));
    std::printf("ours: running run, hidden load (experiment)...\n");
    const OurRun oursHidden = runOurs(office, documents, work.filePath("ours-hidden"), true);
    office.shutdown();

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

    // The two heaviest documents, by what they cost in our "running" run.
    QList<qsizetype> order(documents.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](qsizetype a, qsizetype b) { return oursRunning.perFileMs.value(a) > oursRunning.perFileMs.value(b); });
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
    ours("ours warm", oursWarm);
    ours("ours running", oursRunning);
    ours("ours hidden*", oursHidden);
    peer("peer cold", peerCold);
    peer("peer warm", peerWarm);

    std::printf("\noffice start alone (mean of 3): ours (bridge, to its pipe answering) cold %.0f ms, warm %.0f ms; "
                "peer (soffice --terminate_after_init) cold %.0f ms, warm %.0f ms\n",
                mean(oursStartCold), mean(oursStartWarm), mean(peerStartCold), mean(peerStartWarm));

    auto ratios = [&](const char *name, const OurRun &o, const BatchRun &p, double peerStartMs) {
        const Stats oAll = statsOf(o.perFileMs, {}, false), pAll = statsOf(p.perFileMs, {}, false);
        const Stats oRest = statsOf(o.perFileMs, heavy, false), pRest = statsOf(p.perFileMs, heavy, false);
        const Stats oHeavy = statsOf(o.perFileMs, heavy, true), pHeavy = statsOf(p.perFileMs, heavy, true);
        std::printf("%-24s total %.2f  mean %.2f  median %.2f | heavy two %.2f | other mean %.2f median %.2f",
                    name, ratio(o.totalMs, p.totalMs), ratio(oAll.mean, pAll.mean), ratio(oAll.median, pAll.median),
                    ratio(oHeavy.total, pHeavy.total), ratio(oRest.mean, pRest.mean),
                    ratio(oRest.median, pRest.median));
        if (peerStartMs > 0)
            std::printf(" | total vs peer less its start %.2f", ratio(o.totalMs, p.totalMs - peerStartMs));
        std::printf("\n");
    };
    std::printf("\nratio ours/peer (below 1: ours is faster)\n");
    ratios("cold/cold", oursCold, peerCold, 0);
    ratios("warm/warm", oursWarm, peerWarm, 0);
    ratios("running/warm", oursRunning, peerWarm, mean(peerStartWarm));
    ratios("hidden*/warm", oursHidden, peerWarm, mean(peerStartWarm));
    std::printf("* hidden: an experiment, not the program: the running run again with the documents loaded\n"
                "  with Hidden=true (as soffice --convert-to loads them); everything else the same.\n");

    std::printf("\nthe eight documents that cost most in the running run, s: ours running (its load, controller+frame,\n"
                "save, close) | ours hidden* | peer warm | ratio running/peer\n");
    for (qsizetype rank = 0; rank < std::min<qsizetype>(8, order.size()); ++rank) {
        const qsizetype i = order[rank];
        const Parts &parts = oursRunning.parts.value(i);
        std::printf("  %-34s %6.2f (%5.2f %5.2f %5.2f %5.2f) | %6.2f | %6.2f | %5.2f\n",
                    qPrintable(QFileInfo(documents[i]).fileName()), oursRunning.perFileMs.value(i) / 1000,
                    parts[Load] / 1000, parts[Frame] / 1000, parts[Save] / 1000, parts[Close] / 1000,
                    oursHidden.perFileMs.value(i) / 1000, peerWarm.perFileMs.value(i) / 1000,
                    ratio(oursRunning.perFileMs.value(i), peerWarm.perFileMs.value(i)));
    }

    std::printf("\nwhere our time goes: heavy two s | other s, other median ms a file | all s\n");
    const std::array<std::pair<const char *, const OurRun *>, 4> ourRuns{
        {{"cold", &oursCold}, {"warm", &oursWarm}, {"running", &oursRunning}, {"hidden*", &oursHidden}}};
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
    std::printf("load average at end: %s\n", qPrintable(loadAverage()));
    return 0;
}
