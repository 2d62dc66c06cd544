// `tarnwick --convert --out OUT --mirror --report FILE` on trees of 1,000, 10,000 and
// 100,000 documents: how the program's own memory and the time to its first
// converted document grow with the tree, against `find` walking the same tree.
//
//   bench_tree [largest] [rounds] [seconds]   (default 100000, 3, 20)
//
// Each tree holds folders of 100 documents, ten folders to a top folder, every
// folder with the same names (report-00.odt ... report-99.odt): hard links to a few
// copies of one small document, so that making 100,000 takes seconds. Each round runs, for every
// size, `find TREE -type f -name '*.odt'` and ours (--jobs 2, warm profiles), the
// order of the two turning round by round. Ours is watched every 10 ms: the time
// from its start to the first "converted" line of its report, its peak resident
// memory (VmHWM, the program alone, not its offices) at that moment and again
// after `seconds` more of converting, and how many documents it converted in
// between (for a tree converted sooner: at its end, all of it); then it is stopped
// with SIGINT, as a user would. Medians over the rounds.
#include "BenchSupport.h"

#include "assets/WriterDocuments.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace bench;

namespace {

// A tree of `count` documents below `root`: hard links to copies of `original`, a
// copy for every 10,000 (a file takes some 65,000 links at most).
void makeTree(const QString &root, const QString &original, int count)
{
    QByteArray from;
    for (int i = 0; i < count; ++i) {
        if (i % 10000 == 0) {
            const QString copy = QStringLiteral("%1-%2.odt").arg(root).arg(i);
            if (!QFile::copy(original, copy))
                qFatal("cannot copy %s", qPrintable(original));
            from = QFile::encodeName(copy);
        }
        const QString folder =
            QStringLiteral("%1/t%2/f%3").arg(root).arg(i / 1000, 3, 10, QLatin1Char('0')).arg(i / 100 % 10);
        if (i % 100 == 0)
            QDir().mkpath(folder);
        const QString name = QStringLiteral("%1/report-%2.odt").arg(folder).arg(i % 100, 2, 10, QLatin1Char('0'));
        if (::link(from.constData(), QFile::encodeName(name).constData()) != 0)
            qFatal("cannot link %s", qPrintable(name));
    }
}

// Lines of the report so far that say "converted".
int convertedIn(const QString &report)
{
    QFile file(report);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return int(file.readAll().count("\"status\":\"converted\""));
}

struct Ours {
    double firstSeconds = 0; // start to the first converted document
    long peakAtFirstKb = 0;  // VmHWM then
    long peakLaterKb = 0;    // VmHWM `seconds` later
    int convertedLater = 0;  // documents converted by then
};

Ours runOurs(const QString &tarnwick, const QString &cache, const QString &tree, const QString &out,
             const QString &report, int seconds)
{
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    QFile::remove(report);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    Ours ours;
    QElapsedTimer clock;
    clock.start();
    process.start(tarnwick,
                  {"--convert", "--quiet", "--jobs", "2", "--out", out, "--mirror", "--report", report, tree});
    process.waitForStarted(-1);
    const qint64 pid = process.processId();
    long lastPeakKb = 0; // for a run that ends before the window does
    while (!process.waitForFinished(10)) {
        lastPeakKb = std::max(lastPeakKb, procStatusKb(pid, "VmHWM"));
        if (ours.firstSeconds == 0 && convertedIn(report) > 0) {
            ours.firstSeconds = clock.elapsed() / 1000.0;
            ours.peakAtFirstKb = procStatusKb(pid, "VmHWM");
        }
        if (ours.firstSeconds > 0 && clock.elapsed() / 1000.0 > ours.firstSeconds + seconds) {
            ours.peakLaterKb = procStatusKb(pid, "VmHWM");
            ours.convertedLater = convertedIn(report);
            ::kill(static_cast<pid_t>(pid), SIGINT);
            process.waitForFinished(-1);
            break;
        }
    }
    if (ours.peakLaterKb == 0) { // it ended first: all its documents converted
        ours.peakLaterKb = lastPeakKb;
        ours.convertedLater = convertedIn(report);
    }
    return ours;
}

double findSeconds(const QString &tree)
{
    QProcess find;
    find.setStandardOutputFile(QProcess::nullDevice());
    return millisecondsOf([&] {
               find.start(QStringLiteral("find"), {tree, "-type", "f", "-name", "*.odt"});
               find.waitForFinished(-1);
           })
           / 1000.0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int largest = argc > 1 ? std::max(1000, atoi(argv[1])) : 100000;
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
    const int seconds = argc > 3 ? std::max(1, atoi(argv[3])) : 20;
    QTemporaryDir work;
    const QString original = work.filePath(QStringLiteral("original.odt"));
    QStringList paragraphs;
    for (int p = 0; p < 20; ++p)
        paragraphs << QStringLiteral("Paragraph %1: some ordinary words to convert.").arg(p);
    writeOdt(original, paragraphs);

    QList<int> sizes;
    for (int size = 1000; size <= largest; size *= 10)
        sizes << size;
    for (const int size : sizes)
        makeTree(work.filePath(QStringLiteral("tree-%1").arg(size)), original, size);
    const QString cache = work.filePath(QStringLiteral("cache"));
    runOurs(QStringLiteral(TARNWICK_BINARY), cache, work.filePath("tree-1000/t000/f0"), work.filePath("warm"),
            work.filePath("warm.jsonl"), 1); // warm profiles

    QStringList sizeNames;
    for (const int size : sizes)
        sizeNames << QString::number(size);
    std::printf("bench_tree: trees of %s documents, %d rounds, %d s of converting after the first\n",
                qPrintable(sizeNames.join(QLatin1Char(','))), rounds, seconds);
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));
    QHash<int, QList<double>> first, walked, atFirst, later, perDocument;
    for (int round = 0; round < rounds; ++round) {
        for (const int size : sizes) {
            const QString tree = work.filePath(QStringLiteral("tree-%1").arg(size));
            Ours ours;
            double find = 0;
            for (const bool findFirst : {round % 2 == 0, round % 2 != 0}) {
                if (findFirst)
                    find = findSeconds(tree);
                else
                    ours = runOurs(QStringLiteral(TARNWICK_BINARY), cache, tree, work.filePath("out"),
                                   work.filePath("report.jsonl"), seconds);
            }
            first[size] << ours.firstSeconds;
            walked[size] << find;
            atFirst[size] << ours.peakAtFirstKb / 1024.0;
            later[size] << ours.peakLaterKb / 1024.0;
            const int more = std::max(1, ours.convertedLater - 1);
            perDocument[size] << (ours.peakLaterKb - ours.peakAtFirstKb) * 1024.0 / more;
            std::printf("round %d %6d documents: first converted after %6.2f s (find %.2f s), peak %6.1f MiB, "
                        "%6.1f MiB after %d more converted; load %s\n",
                        round + 1, size, ours.firstSeconds, find, ours.peakAtFirstKb / 1024.0,
                        ours.peakLaterKb / 1024.0, ours.convertedLater - 1, qPrintable(loadAverage()));
        }
    }
    std::printf("\nload average at end: %s\n", qPrintable(loadAverage()));
    std::printf("%9s %12s %8s %7s %14s %14s %14s\n", "documents", "first (s)", "find (s)", "ratio", "peak first MiB",
                "peak later MiB", "bytes/doc later");
    for (const int size : sizes)
        std::printf("%9d %12.2f %8.2f %7.1f %14.1f %14.1f %14.0f\n", size, median(first[size]), median(walked[size]),
                    ratio(median(first[size]), median(walked[size])), median(atFirst[size]), median(later[size]),
                    median(perDocument[size]));
    return 0;
}
