// `tarnwick --convert` against LibreOffice's own batch conversion,
// `soffice --headless --convert-to txt:Text --outdir OUT files...`.
//
//   bench_batch corpus [folder] [rounds]   the corpus (default ../shared/corpus, 3 rounds)
//   bench_batch many [documents] [rounds] [new]  2,000 generated documents, --jobs 2 (2 rounds)
//   bench_batch faults [documents]         one office killed, another stopped, mid-batch
//   bench_batch slow [documents]           a long document, a stopped office, --timeout 5
//   bench_batch update [documents] [rounds] a rerun with --update of documents all converted
//
// corpus: every round runs, one after the other, the peer and ours with --jobs 1,
// --jobs 2 and --jobs <cores> (when that is another number), first cold (new
// profile folders) then warm (the same folders again). The order of the sides turns
// round by round, so that a change of load on the shared machine falls on each of
// them. Medians over the rounds; ratios ours/peer (below 1: ours is faster). Ours
// runs with --timeout 600: the peer has no hang bound at all, and on a loaded
// machine the longest document can take more than the default 120 s to load.
// many: wall time, the largest resident memory of any one office process (sampled
// every 100 ms) and the text files written, ours --jobs 2 against the peer; with
// "new", every run of either side starts on a profile folder of its own that does
// not exist yet (an office's first start makes its profile, then starts again).
// faults: ours --jobs 2 --timeout 10 over small documents and two long ones; the
// office that has the first long one open is killed (SIGKILL), the one that has the
// second open is stopped (SIGSTOP), each time it is tried. The peer gets the same.
// slow: ours --jobs 2 --timeout 5 over small documents, one that keeps its office at
// work for many seconds (20,000 bookmarks in one paragraph) and one whose office is
// stopped each time it has it open; how long each stopped office lived on, the
// run's time. The peer gets the same documents and the same stops.
// update: ours --jobs 2 converts 2,000 generated documents into a new folder (the
// peer: the run that made the text files), then reruns with --update, which must
// find every text file up to date and start no office; the two kinds of run take
// turns, round by round.
#include "BenchSupport.h"
#include "OfficeBatch.h"

#include "assets/WriterDocuments.h"
#include "convert/office/OfficeInstallation.h"
#include "util/ProcessInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstdio>

using namespace bench;

namespace {

struct Run {
    double seconds = 0;
    int written = 0;
    int exitCode = -1;
    long largestOfficeKb = 0;
    QSet<qint64> offices; // the office processes seen (every 100 ms)
    QString errors;
};

// Every process below `root` (children, their children...).
QList<qint64> descendantsOf(qint64 root)
{
    QHash<qint64, QList<qint64>> children;
    for (const qint64 pid : ProcessIds()) {
        if (const std::optional<ProcessStatus> status = ReadProcessStatus(pid))
            children[status->parent].append(pid);
    }
    QList<qint64> found;
    QList<qint64> next{root};
    while (!next.isEmpty()) {
        const qint64 pid = next.takeFirst();
        for (const qint64 child : children.value(pid)) {
            found << child;
            next << child;
        }
    }
    return found;
}

bool isOffice(qint64 pid)
{
    const std::optional<ProcessStatus> status = ReadProcessStatus(pid);
    return status && status->name == "soffice.bin";
}

int countTextFiles(const QString &folder)
{
    return int(QDir(folder).entryList({QStringLiteral("*.txt")}, QDir::Files).size());
}

// Runs a program to its end (or `capSeconds`, then ends its whole tree), calling
// `watch` with its pid every 20 ms and sampling its offices' memory every 100 ms.
Run runProgram(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
               const QString &outDir, const std::function<void(qint64)> &watch = {}, int capSeconds = 0)
{
    QDir().mkpath(outDir);
    Run run;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    process.waitForStarted(-1);
    const qint64 pid = process.processId();
    int ticks = 0;
    while (!process.waitForFinished(20)) {
        if (watch)
            watch(pid);
        if (++ticks % 5 == 0) {
            for (const qint64 child : descendantsOf(pid)) {
                if (isOffice(child)) {
                    run.largestOfficeKb = std::max(run.largestOfficeKb, procStatusKb(child, "VmRSS"));
                    run.offices.insert(child);
                }
            }
        }
        if (capSeconds > 0 && clock.elapsed() > capSeconds * 1000) {
            for (const qint64 child : descendantsOf(pid))
                ::kill(static_cast<pid_t>(child), SIGKILL);
            process.kill();
            process.waitForFinished(-1);
            run.exitCode = -2; // ended by the benchmark
            break;
        }
    }
    run.seconds = clock.elapsed() / 1000.0;
    if (run.exitCode != -2)
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.errors = QString::fromUtf8(process.readAllStandardError());
    run.written = countTextFiles(outDir);
    return run;
}

struct Sides {
    QString tarnwick;
    QString soffice;
    QString work;
};

Run runOurs(const Sides &sides, const QString &cache, int jobs, const QStringList &documents, const QString &outDir,
            const QStringList &extra = {}, const std::function<void(qint64)> &watch = {}, int capSeconds = 0)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
    return runProgram(sides.tarnwick,
                      QStringList{QStringLiteral("--convert"), QStringLiteral("--quiet"), QStringLiteral("--jobs"),
                                  QString::number(jobs), QStringLiteral("--out"), outDir}
                          + extra + documents,
                      environment, outDir, watch, capSeconds);
}

// The peer in one call (the launcher drops arguments past about 255: the
// documents are given as a folder's files in calls of at most 200).
Run runPeer(const Sides &sides, const QString &profile, const QStringList &documents, const QString &outDir,
            const std::function<void(qint64)> &watch = {}, int capSeconds = 0)
{
    Run total;
    QElapsedTimer clock;
    clock.start();
    for (qsizetype first = 0; first < documents.size(); first += 200) {
        const Run part = runProgram(sides.soffice,
                                    QStringList{QStringLiteral("-env:UserInstallation=")
                                                    + QUrl::fromLocalFile(profile).toString(),
                                                QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                                                QStringLiteral("txt:Text"), QStringLiteral("--outdir"), outDir}
                                        + documents.mid(first, 200),
                                    QProcessEnvironment::systemEnvironment(), outDir, watch, capSeconds);
        total.largestOfficeKb = std::max(total.largestOfficeKb, part.largestOfficeKb);
        total.offices.unite(part.offices);
        total.exitCode = std::max(total.exitCode, part.exitCode);
        if (part.exitCode == -2)
            total.exitCode = -2;
    }
    total.seconds = clock.elapsed() / 1000.0;
    total.written = countTextFiles(outDir);
    return total;
}

QStringList writerDocumentsIn(const QString &folder)
{
    QStringList documents;
    for (const QString &name : QDir(folder).entryList({"*.odt", "*.ott", "*.sxw", "*.stw"}, QDir::Files, QDir::Name))
        documents.append(QDir(folder).absoluteFilePath(name));
    return documents;
}

int corpus(const Sides &sides, const QString &folder, int rounds)
{
    const QStringList documents = writerDocumentsIn(folder);
    if (documents.isEmpty()) {
        std::fprintf(stderr, "No Writer documents in %s\n", qPrintable(folder));
        return 1;
    }
    QList<int> jobCounts{1, 2};
    if (!jobCounts.contains(QThread::idealThreadCount()))
        jobCounts << QThread::idealThreadCount();
    QStringList names{QStringLiteral("peer")};
    for (const int jobs : jobCounts)
        names << QStringLiteral("ours --jobs %1").arg(jobs);

    std::printf("corpus: %lld documents in %s, %d rounds, %d cores\n", static_cast<long long>(documents.size()),
                qPrintable(folder), rounds, QThread::idealThreadCount());
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));
    QHash<QString, QList<double>> times; // "name cold" / "name warm" -> seconds by round
    QHash<QString, QList<int>> written;
    for (int round = 0; round < rounds; ++round) {
        QStringList order = names;
        std::rotate(order.begin(), order.begin() + round % order.size(), order.end());
        for (const QString &state : {QStringLiteral("cold"), QStringLiteral("warm")}) {
            for (const QString &name : order) {
                const QString tag = QStringLiteral("r%1-%2").arg(round).arg(QString(name).replace(' ', '_'));
                const QString profile = QDir(sides.work).filePath(tag + QStringLiteral("-profile"));
                const QString outDir = QDir(sides.work).filePath(tag + QLatin1Char('-') + state);
                const Run run = name == QLatin1String("peer")
                                    ? runPeer(sides, profile, documents, outDir)
                                    : runOurs(sides, profile, name.section(' ', -1).toInt(), documents, outDir,
                                              {QStringLiteral("--timeout"), QStringLiteral("600")});
                const QString key = name + QLatin1Char(' ') + state;
                times[key].append(run.seconds);
                written[key].append(run.written);
                std::printf("round %d %-22s %7.1f s  %d written  exit %d  load %s\n", round + 1, qPrintable(key),
                            run.seconds, run.written, run.exitCode, qPrintable(loadAverage()));
                QDir(outDir).removeRecursively();
            }
        }
    }
    std::printf("\nload average at end: %s\n\n", qPrintable(loadAverage()));
    std::printf("| side | cold median s | warm median s | cold/peer | warm/peer | written | runs (cold; warm) |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---|\n");
    for (const QString &name : names) {
        const QList<double> &cold = times[name + QStringLiteral(" cold")];
        const QList<double> &warm = times[name + QStringLiteral(" warm")];
        QStringList coldText, warmText;
        for (const double t : cold)
            coldText << QString::number(t, 'f', 1);
        for (const double t : warm)
            warmText << QString::number(t, 'f', 1);
        std::printf("| %s | %.1f | %.1f | %.2f | %.2f | %d | %s; %s |\n", qPrintable(name), median(cold), median(warm),
                    ratio(median(cold), median(times[QStringLiteral("peer cold")])),
                    ratio(median(warm), median(times[QStringLiteral("peer warm")])),
                    *std::min_element(written[name + QStringLiteral(" cold")].begin(),
                                      written[name + QStringLiteral(" cold")].end()),
                    qPrintable(coldText.join(' ')), qPrintable(warmText.join(' ')));
    }
    return 0;
}

QStringList generateDocuments(const QString &folder, int count)
{
    QDir().mkpath(folder);
    QStringList documents;
    for (int i = 0; i < count; ++i) {
        QStringList paragraphs;
        for (int p = 0; p < 20; ++p)
            paragraphs << QStringLiteral("Document %1, paragraph %2: some ordinary words to convert.").arg(i).arg(p);
        const QString path = QDir(folder).filePath(QStringLiteral("doc%1.odt").arg(i, 5, 10, QLatin1Char('0')));
        writeOdt(path, paragraphs);
        documents << path;
    }
    return documents;
}

int many(const Sides &sides, int count, int rounds, bool newProfiles)
{
    const QStringList documents = generateDocuments(QDir(sides.work).filePath(QStringLiteral("many")), count);
    std::printf("many: %d generated documents (20 paragraphs each), %s profiles\n", count,
                newProfiles ? "new" : "warm");
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));
    // Warm profiles for both sides first (unless every run gets a new one), then the
    // peer and ours, turn about.
    const auto profile = [&](const char *side, int round) {
        return QDir(sides.work)
            .filePath(newProfiles ? QStringLiteral("%1-profile-%2").arg(side).arg(round)
                                  : QStringLiteral("%1-profile").arg(side));
    };
    if (!newProfiles) {
        runPeer(sides, profile("peer", 0), documents.mid(0, 1), QDir(sides.work).filePath("w1"));
        runOurs(sides, profile("ours", 0), 2, documents.mid(0, 2), QDir(sides.work).filePath("w2"));
    }
    QList<double> peerTimes, ourTimes;
    for (int round = 0; round < rounds; ++round) {
        for (const bool peerFirst : {round % 2 == 0, round % 2 != 0}) {
            const QString outDir = QDir(sides.work).filePath(QStringLiteral("many-out-%1-%2").arg(round).arg(peerFirst));
            const Run run = peerFirst ? runPeer(sides, profile("peer", round), documents, outDir)
                                      : runOurs(sides, profile("ours", round), 2, documents, outDir);
            (peerFirst ? peerTimes : ourTimes).append(run.seconds);
            std::printf("round %d %-14s %7.1f s  %d of %d written  exit %d  %lld office processes  largest office "
                        "RSS %.1f MiB  load %s\n",
                        round + 1, peerFirst ? "peer" : "ours --jobs 2", run.seconds, run.written, count, run.exitCode,
                        static_cast<long long>(run.offices.size()), run.largestOfficeKb / 1024.0,
                        qPrintable(loadAverage()));
            QDir(outDir).removeRecursively();
        }
    }
    std::printf("\nload average at end: %s\n", qPrintable(loadAverage()));
    std::printf("median: ours %.1f s, peer %.1f s, ratio %.2f\n", median(ourTimes), median(peerTimes),
                ratio(median(ourTimes), median(peerTimes)));
    return 0;
}

int faults(const Sides &sides, int count)
{
    const QString folder = QDir(sides.work).filePath(QStringLiteral("faults"));
    QStringList documents = generateDocuments(folder, count);
    QStringList paragraphs;
    for (int i = 0; i < 20000; ++i)
        paragraphs << QStringLiteral("Paragraph %1 of a long document.").arg(i);
    const QString killed = QDir(folder).filePath(QStringLiteral("long-killed.odt"));
    const QString stopped = QDir(folder).filePath(QStringLiteral("long-stopped.odt"));
    writeOdt(killed, paragraphs);
    writeOdt(stopped, paragraphs);
    // First in the peer's order too (ours takes the largest first anyway).
    documents.prepend(stopped);
    documents.prepend(killed);
    std::printf("faults: %d small documents and two long ones; the office that opens %s is killed, the one\n"
                "that opens %s is stopped, every time\n",
                count, qPrintable(QFileInfo(killed).fileName()), qPrintable(QFileInfo(stopped).fileName()));
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));

    QSet<qint64> struck;
    int kills = 0, stops = 0;
    const auto strike = [&](qint64 program) {
        for (const qint64 pid : descendantsOf(program)) {
            if (struck.contains(pid) || !isOffice(pid))
                continue;
            const QStringList open = OpenFilesOf(pid);
            if (open.contains(killed)) {
                ::kill(static_cast<pid_t>(pid), SIGKILL);
                struck.insert(pid);
                ++kills;
            } else if (open.contains(stopped)) {
                ::kill(static_cast<pid_t>(pid), SIGSTOP);
                struck.insert(pid);
                ++stops;
            }
        }
    };
    const Run ours = runOurs(sides, QDir(sides.work).filePath("faults-cache"), 2, documents,
                             QDir(sides.work).filePath("faults-ours"), {QStringLiteral("--timeout"), QStringLiteral("10")},
                             strike, 600);
    std::printf("ours --jobs 2 --timeout 10: %.1f s, exit %d, %d of %d written, %d offices killed, %d stopped\n",
                ours.seconds, ours.exitCode, ours.written, count + 2, kills, stops);
    std::printf("  its failure lines:\n");
    for (const QString &line : ours.errors.split('\n', Qt::SkipEmptyParts))
        std::printf("    %s\n", qPrintable(line));

    struck.clear();
    kills = stops = 0;
    const Run peer = runPeer(sides, QDir(sides.work).filePath("faults-peer-profile"), documents,
                             QDir(sides.work).filePath("faults-peer"), strike, 120);
    std::printf("peer: %.1f s%s, exit %d, %d of %d written, %d offices killed, %d stopped\n", peer.seconds,
                peer.exitCode == -2 ? " (ended by the benchmark after 120 s)" : "", peer.exitCode, peer.written,
                count + 2, kills, stops);
    std::printf("load average at end: %s\n", qPrintable(loadAverage()));
    return 0;
}

int slow(const Sides &sides, int count)
{
    const QString folder = QDir(sides.work).filePath(QStringLiteral("slow"));
    QStringList documents = generateDocuments(folder, count);
    const QString busy = QDir(folder).filePath(QStringLiteral("long-busy.odt"));
    const QString stopped = QDir(folder).filePath(QStringLiteral("stopped.odt"));
    writeMarkedOdt(busy, 20000);
    QStringList paragraphs; // long enough that the office has it open for a while
    for (int i = 0; i < 20000; ++i)
        paragraphs << QStringLiteral("Paragraph %1 of a long document.").arg(i);
    writeOdt(stopped, paragraphs);
    documents.prepend(stopped);
    documents.prepend(busy);
    std::printf("slow: %d small documents, %s (its office works on it for many seconds) and %s (the office\n"
                "that opens it is stopped, every time)\n",
                count, qPrintable(QFileInfo(busy).fileName()), qPrintable(QFileInfo(stopped).fileName()));
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));

    QHash<qint64, QElapsedTimer> stoppedAt;
    QList<double> livedOn;
    const auto strike = [&](qint64 program) {
        for (auto it = stoppedAt.begin(); it != stoppedAt.end();) {
            const auto status = ReadProcessStatus(it.key());
            if (status && status->state != 'Z') {
                ++it;
                continue;
            }
            livedOn << it->elapsed() / 1000.0;
            it = stoppedAt.erase(it);
        }
        for (const qint64 pid : descendantsOf(program)) {
            if (stoppedAt.contains(pid) || !isOffice(pid) || !OpenFilesOf(pid).contains(stopped))
                continue;
            ::kill(static_cast<pid_t>(pid), SIGSTOP);
            stoppedAt[pid].start();
        }
    };
    const Run ours = runOurs(sides, QDir(sides.work).filePath("slow-cache"), 2, documents,
                             QDir(sides.work).filePath("slow-ours"), {QStringLiteral("--timeout"), QStringLiteral("5")},
                             strike, 600);
    QStringList lived;
    for (const double seconds : std::as_const(livedOn))
        lived << QString::number(seconds, 'f', 1);
    std::printf("ours --jobs 2 --timeout 5: %.1f s, exit %d, %d of %d written (%s %s); stopped offices ended after "
                "%s s\n",
                ours.seconds, ours.exitCode, ours.written, count + 2, qPrintable(QFileInfo(busy).completeBaseName()),
                QFileInfo::exists(QDir(sides.work).filePath("slow-ours/long-busy.txt")) ? "written" : "NOT written",
                qPrintable(lived.join(", ")));
    for (const QString &line : ours.errors.split('\n', Qt::SkipEmptyParts))
        std::printf("    %s\n", qPrintable(line));

    stoppedAt.clear();
    livedOn.clear();
    const Run peer = runPeer(sides, QDir(sides.work).filePath("slow-peer-profile"), documents,
                             QDir(sides.work).filePath("slow-peer"), strike, 120);
    std::printf("peer: %.1f s%s, exit %d, %d of %d written\n", peer.seconds,
                peer.exitCode == -2 ? " (ended by the benchmark after 120 s)" : "", peer.exitCode, peer.written,
                count + 2);
    std::printf("load average at end: %s\n", qPrintable(loadAverage()));
    return 0;
}

int update(const Sides &sides, int count, int rounds)
{
    const QStringList documents = generateDocuments(QDir(sides.work).filePath(QStringLiteral("update")), count);
    const QString cache = QDir(sides.work).filePath(QStringLiteral("update-cache"));
    std::printf("update: %d generated documents, %d rounds\n", count, rounds);
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));
    runOurs(sides, cache, 2, documents.mid(0, 2), QDir(sides.work).filePath("u-warm")); // a warm profile
    QList<double> firstTimes, rerunTimes;
    int officesInReruns = 0;
    const auto countOffices = [&](qint64 program) {
        for (const qint64 child : descendantsOf(program))
            officesInReruns += isOffice(child) ? 1 : 0;
    };
    for (int round = 0; round < rounds; ++round) {
        const QString outDir = QDir(sides.work).filePath(QStringLiteral("update-out-%1").arg(round));
        const Run first = runOurs(sides, cache, 2, documents, outDir);
        firstTimes << first.seconds;
        std::printf("round %d first run          %7.2f s  %d of %d written  exit %d  load %s\n", round + 1,
                    first.seconds, first.written, count, first.exitCode, qPrintable(loadAverage()));
        // Three reruns a round: the first one reads the folder cold from no cache of ours.
        for (int rerun = 0; rerun < 3; ++rerun) {
            const Run again = runOurs(sides, cache, 2, documents, outDir, {QStringLiteral("--update")}, countOffices);
            rerunTimes << again.seconds;
            std::printf("round %d rerun --update     %7.3f s  exit %d  load %s\n", round + 1, again.seconds,
                        again.exitCode, qPrintable(loadAverage()));
        }
        QDir(outDir).removeRecursively();
    }
    std::printf("\nload average at end: %s\n", qPrintable(loadAverage()));
    std::printf("median: rerun --update %.3f s, first run %.2f s, ratio %.4f; office processes seen in reruns: %d\n",
                median(rerunTimes), median(firstTimes), ratio(median(rerunTimes), median(firstTimes)),
                officesInReruns);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QTemporaryDir work;
    Sides sides{QStringLiteral(TARNWICK_BINARY),
                QDir(findOffice(defaultOfficeSearchPath()).programDir).filePath(QStringLiteral("soffice")),
                work.path()};
    if (what == QLatin1String("corpus")) {
        const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2])
                                        : QDir(TARNWICK_SOURCE_DIR).absoluteFilePath("../shared/corpus");
        return corpus(sides, folder, argc > 3 ? std::max(1, atoi(argv[3])) : 3);
    }
    if (what == QLatin1String("many"))
        return many(sides, argc > 2 ? std::max(1, atoi(argv[2])) : 2000, argc > 3 ? std::max(1, atoi(argv[3])) : 2,
                    argc > 4 && QLatin1String(argv[4]) == QLatin1String("new"));
    if (what == QLatin1String("faults"))
        return faults(sides, argc > 2 ? std::max(1, atoi(argv[2])) : 200);
    if (what == QLatin1String("slow"))
        return slow(sides, argc > 2 ? std::max(1, atoi(argv[2])) : 200);
    if (what == QLatin1String("update"))
        return update(sides, argc > 2 ? std::max(1, atoi(argv[2])) : 2000, argc > 3 ? std::max(1, atoi(argv[3])) : 2);
    std::fprintf(stderr,
                 "usage: bench_batch corpus [folder] [rounds] | many [documents] [rounds] [new] | faults [documents]"
                 " | slow [documents] | update [documents] [rounds]\n");
    return 2;
}
