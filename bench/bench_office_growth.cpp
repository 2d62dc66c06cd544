// How the office's memory grows over a long batch when it is never started afresh,
// to choose the bound past which it is: the batch's own job (`BatchJob`, one
// office) over N small generated documents (default 20,000), then over the corpus
// converted R times (default 10) by one office. The resident size of the office's
// process group is sampled every 200 ms, with the documents done so far.
//
//   bench_office_growth [documents] [corpus folder] [rounds]
#include "BenchSupport.h"

#include "assets/WriterDocuments.h"
#include "batch/BatchJob.h"
#include "batch/BatchReport.h"
#include "batch/SharedTextFiles.h"
#include "batch/WorkQueue.h"
#include "convert/office/UnoOfficeBridge.h"
#include "util/ProcessInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <atomic>
#include <cstdio>
#include <thread>
#include <unistd.h>

using namespace bench;

namespace {

struct Sample {
    int done;
    double mib;
};

// soffice.bin processes started by this process.
QList<qint64> ownOffices()
{
    QList<qint64> offices;
    for (const qint64 pid : ProcessIds()) {
        const auto status = ReadProcessStatus(pid);
        if (status && status->name == "soffice.bin" && status->parent == ::getpid())
            offices << pid;
    }
    return offices;
}

// Runs the documents through one batch job whose office is never restarted;
// samples its memory against the text files written so far.
QList<Sample> runOneOffice(const QList<BatchDocument> &documents, const QString &profile)
{
    UnoOfficeOptions options = UnoOfficeOptions::defaults();
    options.profileDir = profile;
    setRestartAbove(options, 0);
    WorkQueue queue(documents);
    std::FILE *quiet = std::fopen("/dev/null", "w");
    BatchReport report(quiet, false, true);
    SharedTextFiles textFiles;
    BatchJob job(options, queue, report, textFiles);
    std::atomic<bool> finished = false;
    QList<Sample> samples;
    std::thread sampler([&] {
        int tick = 0;
        int done = 0;
        while (!finished) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (++tick % 10 == 0) { // counting the files costs more than the look
                done = 0;
                for (const BatchDocument &document : documents)
                    done += QFileInfo::exists(document.target) ? 1 : 0;
            }
            for (const qint64 office : ownOffices())
                samples.append({done, UsageOfGroup(office).residentBytes / 1048576.0});
        }
    });
    job.run();
    finished = true;
    sampler.join();
    std::fclose(quiet);
    return samples;
}

// The office's start is a peak of its own (about 210 MiB here, the peer's too),
// which it leaves within its first documents: the growth is read from the size at
// each mark and from the largest after the first mark.
void printGrowth(const char *what, const QList<Sample> &samples, const QList<int> &marks)
{
    std::printf("\n%s: office resident size (MiB) by documents done\n", what);
    for (const int mark : marks) {
        double rss = 0;
        for (const Sample &sample : samples) {
            if (sample.done <= mark)
                rss = sample.mib;
        }
        std::printf("  at %6d: %7.1f\n", mark, rss);
    }
    double start = 0, largest = 0;
    int at = 0;
    for (const Sample &sample : samples) {
        if (sample.done < marks.value(0))
            start = std::max(start, sample.mib);
        else if (sample.mib > largest)
            largest = sample.mib, at = sample.done;
    }
    std::printf("  largest before %d documents (the start): %.1f MiB; after: %.1f MiB, at about %d documents\n",
                marks.value(0), start, largest, at);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
    const QString corpus = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 10;
    QTemporaryDir work;
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));

    const QString profile = work.filePath("profile");
    {
        UnoOfficeOptions options = UnoOfficeOptions::defaults();
        options.profileDir = profile;
        UnoOfficeBridge office(options);
        office.createServiceManager(); // the profile is made before the runs
    }

    if (count > 0) {
        QList<BatchDocument> documents;
        QDir().mkpath(work.filePath("many"));
        for (int i = 1; i <= count; ++i) {
            QStringList paragraphs;
            for (int p = 1; p <= 20; ++p)
                paragraphs << QStringLiteral("Document %1, paragraph %2: a line of ordinary text to convert.").arg(i).arg(p);
            const QString path = work.filePath(QStringLiteral("many/doc%1.odt").arg(i, 5, 10, QLatin1Char('0')));
            writeOdt(path, paragraphs);
            documents.append({path, QString(path).replace(".odt", ".txt"), 0});
        }
        QList<int> marks;
        for (const int mark : {100, 200, 500, 1000, 2000, 5000, 10000, 15000, 20000})
            if (mark <= count)
                marks << mark;
        printGrowth(qPrintable(QStringLiteral("%1 generated documents, one office").arg(count)),
                    runOneOffice(documents, profile), marks);
    }

    if (!corpus.isEmpty()) {
        const QFileInfoList files = QDir(corpus).entryInfoList(QDir::Files, QDir::Name);
        QList<BatchDocument> documents;
        for (int round = 1; round <= rounds; ++round) {
            const QString out = work.filePath(QStringLiteral("corpus-%1").arg(round));
            QDir().mkpath(out);
            for (const QFileInfo &file : files) {
                if (file.suffix() == QLatin1String("md"))
                    continue;
                documents.append({file.absoluteFilePath(), out + '/' + file.completeBaseName() + ".txt", file.size()});
            }
        }
        QList<int> marks;
        for (int round = 1; round <= rounds; ++round)
            marks << int(documents.size()) / rounds * round;
        printGrowth(qPrintable(QStringLiteral("the corpus %1 times, one office").arg(rounds)),
                    runOneOffice(documents, profile), marks);
    }
    std::printf("load average at end: %s\n", qPrintable(loadAverage()));
    return 0;
}
