// Memory over a long run: N small generated Writer documents (default 1,000)
// through "Start Converting To TXT" on the real office, with the resident memory
// of this process (the program's conversion path) and of the office sampled every
// 50 documents, so that growth shows. Run once with the office never restarted
// and, where the build has UnoOfficeOptions::restartAboveBytes, once more with
// a restart whenever the office is past M MiB (default 200). The peer is LibreOffice's own batch
// conversion of the same documents in one soffice.bin process, sampled the same
// way.
//
//   bench_run_memory [documents] [restart above MiB]
//
// Before each of our runs the office is started, as the program's start-up starts
// it; profiles exist already (warm). VmHWM is the process's peak since it started,
// which for the office is reached while it starts up; growth is read from VmRSS.
#include "BenchSupport.h"
#include "OfficeBatch.h"

#include "assets/WriterDocuments.h"
#include "convert/office/OfficeInstallation.h"
#include "convert/office/UnoOfficeBridge.h"

#include <QCoreApplication>
#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <atomic>
#include <cstdio>
#include <mutex>

using namespace bench;

namespace {

constexpr int SampleEvery = 50;

struct Sample {
    int done = 0; // documents finished
    long selfRss = 0, selfHwm = 0;
    qint64 officePid = 0;
    long officeRss = 0, officeHwm = 0;
};

Sample sampleNow(int done, qint64 officePid)
{
    return {done, procStatusKb(0, "VmRSS"), procStatusKb(0, "VmHWM"), officePid,
            procStatusKb(officePid, "VmRSS"), procStatusKb(officePid, "VmHWM")};
}

// Least-squares slope of office (or own) RSS against documents, in kB per 100
// documents, over the samples from `from` documents on.
double growthPer100(const QList<Sample> &samples, int from, long Sample::*field)
{
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const Sample &s : samples) {
        if (s.done < from)
            continue;
        const double x = s.done, y = double(s.*field);
        n += 1, sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    const double denominator = n * sxx - sx * sx;
    return denominator > 0 ? (n * sxy - sx * sy) / denominator * 100 : 0;
}

struct MemoryRun {
    QList<Sample> samples;
    double totalMs = 0;
    int written = 0;
    int reports = 0;
    QSet<qint64> officePids;
};

MemoryRun runOurs(const QStringList &documents, const QString &profile, qint64 restartAboveMiB, const QString &outDir)
{
    QDir().mkpath(outDir);
    UnoOfficeOptions options = UnoOfficeOptions::defaults();
    options.profileDir = profile;
    setRestartAbove(options, restartAboveMiB);
    UnoOfficeBridge office(options);
    office.createServiceManager(); // the program's start-up check

    ListRunWindow window(documents, outDir);
    RecordingDialogs dialogs;
    ConversionRun run(window, office, dialogs);
    run.setWaitSeconds(0);
    MemoryRun result;
    window.onFileStart = [&](int file) {
        result.officePids.insert(office.officeProcessId());
        if ((file - 1) % SampleEvery == 0)
            result.samples.append(sampleNow(file - 1, office.officeProcessId()));
    };
    window.onLoopEnd = [&] { result.samples.append(sampleNow(int(documents.size()), office.officeProcessId())); };
    result.totalMs = millisecondsOf([&] { run.convertAll(); });
    result.officePids.remove(0);
    result.written = int(QDir(outDir).entryList({QStringLiteral("*.txt")}, QDir::Files).size());
    result.reports = int(dialogs.errorReports.size());
    office.shutdown();
    return result;
}

MemoryRun runPeer(const QString &officeBinary, const QStringList &documents, const QString &profile,
                  const QString &outDir)
{
    MemoryRun result;
    std::mutex mutex;
    std::atomic<qint64> pid = 0;
    const int count = int(documents.size());
    const BatchRun batch = runOfficeBatch(
        officeBinary, profile, documents, outDir, count,
        [&](int written) {
            if (written == 1 || written % SampleEvery == 0 || written == count) {
                std::lock_guard lock(mutex);
                const qint64 office = pid;
                Sample sample{written, 0, 0, office, procStatusKb(office, "VmRSS"), procStatusKb(office, "VmHWM")};
                result.samples.append(sample);
            }
        },
        [&](qint64 started) {
            pid = started;
            std::lock_guard lock(mutex);
            result.officePids.insert(started);
        });
    result.totalMs = batch.totalMs;
    result.written = batch.written;
    return result;
}

long officeRssMax(const MemoryRun &run)
{
    long largest = 0;
    for (const Sample &s : run.samples)
        largest = std::max(largest, s.officeRss);
    return largest;
}

void printSeries(const char *name, const MemoryRun &run, bool withSelf)
{
    std::printf("\n%s: %d documents written, %d error reports, %.1f s (%.1f ms a document), %lld office "
                "process(es)\n",
                name, run.written, run.reports, run.totalMs / 1000,
                run.totalMs / std::max<qsizetype>(1, run.samples.value(run.samples.size() - 1).done),
                static_cast<long long>(run.officePids.size()));
    std::printf("  %6s | %10s %10s | %8s %10s %10s   (MiB)\n", "done", "ours RSS", "ours HWM", "office", "RSS",
                "HWM");
    long officePeak = 0, selfPeak = 0;
    for (const Sample &s : run.samples) {
        officePeak = std::max(officePeak, s.officeHwm);
        selfPeak = std::max(selfPeak, s.selfHwm);
        if (withSelf)
            std::printf("  %6d | %10.1f %10.1f | %8lld %10.1f %10.1f\n", s.done, s.selfRss / 1024.0,
                        s.selfHwm / 1024.0, static_cast<long long>(s.officePid), s.officeRss / 1024.0,
                        s.officeHwm / 1024.0);
        else
            std::printf("  %6d | %10s %10s | %8lld %10.1f %10.1f\n", s.done, "-", "-",
                        static_cast<long long>(s.officePid), s.officeRss / 1024.0, s.officeHwm / 1024.0);
    }
    std::printf("  office: HWM %.1f MiB, largest sampled RSS %.1f MiB, growth %.2f MiB per 100 documents (from 100 on)",
                officePeak / 1024.0, officeRssMax(run) / 1024.0,
                growthPer100(run.samples, 100, &Sample::officeRss) / 1024.0);
    if (withSelf)
        std::printf("; ours: peak %.1f MiB, growth %.2f MiB per 100 documents", selfPeak / 1024.0,
                    growthPer100(run.samples, 100, &Sample::selfRss) / 1024.0);
    std::printf("\n");
}

long officePeakOf(const MemoryRun &run)
{
    long peak = 0;
    for (const Sample &s : run.samples)
        peak = std::max(peak, s.officeHwm);
    return peak;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // progress shows when written to a file
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const qint64 restartAboveMiB = argc > 2 ? std::atoll(argv[2]) : 200;
    QTemporaryDir work;
    const QString in = work.filePath("documents");
    QDir().mkpath(in);
    QStringList documents;
    for (int i = 1; i <= count; ++i) {
        QStringList paragraphs;
        for (int p = 1; p <= 20; ++p)
            paragraphs.append(QStringLiteral("Document %1, paragraph %2: a line of ordinary text to convert.")
                                  .arg(i)
                                  .arg(p));
        const QString path = QDir(in).filePath(QStringLiteral("doc%1.odt").arg(i, 5, 10, QLatin1Char('0')));
        writeOdt(path, paragraphs);
        documents.append(path);
    }
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));
    std::printf("%d generated documents in %s\n", count, qPrintable(in));

    const QString ourProfile = work.filePath("ours-profile");
    {
        // The profile is made before the runs: making it is a start-up peak of its own.
        UnoOfficeOptions options = UnoOfficeOptions::defaults();
        options.profileDir = ourProfile;
        UnoOfficeBridge office(options);
        office.createServiceManager();
        office.shutdown();
    }
    const MemoryRun never = runOurs(documents, ourProfile, 0, work.filePath("out-never"));
    printSeries("ours, office never restarted", never, true);

    UnoOfficeOptions probe;
    const bool haveRestart = setRestartAbove(probe, restartAboveMiB);
    MemoryRun restarted;
    if (haveRestart) {
        restarted = runOurs(documents, ourProfile, restartAboveMiB, work.filePath("out-restart"));
        printSeries(qPrintable(QStringLiteral("ours, office restarted above %1 MiB").arg(restartAboveMiB)),
                    restarted, true);
    } else {
        std::printf("\n(this build has no UnoOfficeOptions::restartAboveBytes: no run with restarts)\n");
    }

    // The peer in one process: soffice.bin itself, since the launcher drops
    // arguments past about 255. Its profile is made first.
    const OfficeInstallation installation = findOffice(defaultOfficeSearchPath());
    const QString peerProfile = work.filePath("peer-profile");
    runOfficeBatch(installation.officeBinary, peerProfile, documents.mid(0, 1), work.filePath("out-peer-0"), 1);
    const MemoryRun peer = runPeer(installation.officeBinary, documents, peerProfile, work.filePath("out-peer"));
    printSeries("peer, soffice.bin --convert-to txt:Text, one process", peer, false);

    std::printf("\nratio ours/peer: office HWM %.2f, largest RSS %.2f, office growth per 100 %.2f, time %.2f "
                "(never restarted)\n",
                ratio(officePeakOf(never), officePeakOf(peer)), ratio(officeRssMax(never), officeRssMax(peer)),
                ratio(growthPer100(never.samples, 100, &Sample::officeRss),
                      growthPer100(peer.samples, 100, &Sample::officeRss)),
                ratio(never.totalMs, peer.totalMs));
    if (haveRestart)
        std::printf("ratio ours/peer: office HWM %.2f, largest RSS %.2f, time %.2f (restarted above %lld MiB)\n",
                    ratio(officePeakOf(restarted), officePeakOf(peer)),
                    ratio(officeRssMax(restarted), officeRssMax(peer)), ratio(restarted.totalMs, peer.totalMs),
                    restartAboveMiB);
    std::printf("load average at end: %s\n", qPrintable(loadAverage()));
    return 0;
}
