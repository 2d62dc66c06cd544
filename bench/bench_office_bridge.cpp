// Converts every Writer document of a folder to text twice: through the bridge
// (the calls the conversion run makes, without its fixed waits) and with one
// batch run of `soffice --convert-to`, and prints the times of both.
//
//   bench_office_bridge [folder]      (default: ../shared/corpus beside the repo)
#include "convert/office/OfficeInstallation.h"
#include "convert/office/UnoOfficeBridge.h"
#include "util/AppError.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <numeric>

namespace {

double millisecondsOf(const std::function<void()> &work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return clock.nsecsElapsed() / 1e6;
}

double mean(const QList<double> &values)
{
    return values.isEmpty() ? 0 : std::accumulate(values.begin(), values.end(), 0.0) / values.size();
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

void convert(OfficeBridge &bridge, const QString &source, const QString &target)
{
    const OfficeRef serviceManager = bridge.createServiceManager();
    const OfficeRef desktop = bridge.createInstance(serviceManager, "com.sun.star.frame.Desktop");
    const OfficeRef document = bridge.loadComponentFromURL(desktop, FileUrlOf(source), "_blank", 0);
    const OfficeRef dispatcher = bridge.createInstance(serviceManager, "com.sun.star.frame.DispatchHelper");
    const OfficeRef frame = bridge.getFrame(bridge.getCurrentController(document));
    const QList<PropertyValue> arguments{bridge.newPropertyValue("URL", FileUrlOf(target)),
                                         bridge.newPropertyValue("FilterName", "Text")};
    bridge.executeDispatch(dispatcher, frame, ".uno:SaveAs", "", 0, arguments);
    bridge.close(document, true);
}

int countFiles(const QString &folder)
{
    return QDir(folder).entryList({"*.txt"}, QDir::Files).size();
}

// One `soffice --convert-to` run over all documents; milliseconds, or -1.
double runBatch(const QString &soffice, const QStringList &documents, const QString &outDir, const QString &profile)
{
    QProcess batch;
    batch.setProcessChannelMode(QProcess::MergedChannels);
    batch.setStandardOutputFile(QProcess::nullDevice());
    QStringList arguments{"-env:UserInstallation=" + FileUrlOf(profile), "--headless", "--convert-to", "txt:Text",
                          "--outdir", outDir};
    arguments += documents;
    bool ok = false;
    const double ms = millisecondsOf([&] {
        batch.start(soffice, arguments);
        ok = batch.waitForFinished(-1) && batch.exitStatus() == QProcess::NormalExit;
    });
    return ok ? ms : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QDir(TARNWICK_SOURCE_DIR).absoluteFilePath("../shared/corpus");
    QStringList documents;
    for (const QString &name : QDir(folder).entryList({"*.odt", "*.ott", "*.sxw", "*.stw"}, QDir::Files, QDir::Name))
        documents.append(QDir(folder).absoluteFilePath(name));
    if (documents.isEmpty()) {
        std::fprintf(stderr, "No Writer documents in %s\n", qPrintable(folder));
        return 1;
    }

    QTemporaryDir work;
    const QString bridgeOut = work.filePath("bridge");
    const QString batchOut = work.filePath("batch");
    QDir().mkpath(bridgeOut);
    QDir().mkpath(batchOut);
    std::printf("%lld documents in %s\n\n", static_cast<long long>(documents.size()), qPrintable(folder));

    UnoOfficeOptions options = UnoOfficeOptions::defaults();
    options.profileDir = work.filePath("bridge-profile");
    UnoOfficeBridge bridge(options);
    QList<double> perFile;
    int failures = 0;
    double totalMs = 0;
    try {
        const double coldStart = millisecondsOf([&] { bridge.createServiceManager(); });
        bridge.shutdown();
        const double warmStart = millisecondsOf([&] { bridge.createServiceManager(); });
        QList<double> serviceManager;
        for (int i = 0; i < 50; ++i)
            serviceManager.append(millisecondsOf([&] { bridge.createServiceManager(); }));
        std::printf("Bridge: office start with a new profile      %8.1f ms\n", coldStart);
        std::printf("Bridge: office start with its profile        %8.1f ms\n", warmStart);
        std::printf("Bridge: service manager from a warm office   %8.3f ms (mean of 50)\n", mean(serviceManager));

        totalMs = millisecondsOf([&] {
            for (const QString &source : documents) {
                const QString target = QDir(bridgeOut).filePath(QFileInfo(source).completeBaseName() + ".txt");
                perFile.append(millisecondsOf([&] {
                    try {
                        convert(bridge, source, target);
                    } catch (const AppError &error) {
                        ++failures;
                        std::printf("  failed: %s\n", qPrintable(error.description()));
                    }
                }));
            }
        });
    } catch (const AppError &error) {
        std::fprintf(stderr, "The office could not be used: %s\n", qPrintable(error.description()));
        return 1;
    }
    bridge.shutdown();
    std::printf("Bridge: %lld files, %d failed, %d text files written\n", static_cast<long long>(documents.size()),
                failures, countFiles(bridgeOut));
    std::printf("Bridge: per file mean %.1f ms, median %.1f ms, max %.1f ms; total %.1f ms\n", mean(perFile),
                median(perFile), *std::max_element(perFile.begin(), perFile.end()), totalMs);
    for (qsizetype i = 0; i < documents.size(); ++i) {
        if (perFile[i] > 2000)
            std::printf("  slow: %s %.1f ms\n", qPrintable(QFileInfo(documents[i]).fileName()), perFile[i]);
    }
    std::printf("\n");

    // The launcher, not soffice.bin: that is what a user would run.
    const QString soffice =
        QDir(findOffice(defaultOfficeSearchPath()).programDir).filePath("soffice");
    const QString batchProfile = work.filePath("batch-profile");
    const double batchNewProfile = runBatch(soffice, documents, work.filePath("batch-first"), batchProfile);
    const double batchMs = runBatch(soffice, documents, batchOut, batchProfile);
    if (batchMs < 0) {
        std::fprintf(stderr, "The batch conversion failed\n");
        return 1;
    }
    const double batchPerFile = batchMs / documents.size();
    std::printf("Batch: soffice --convert-to txt:Text, new profile   %8.1f ms total\n", batchNewProfile);
    std::printf("Batch: soffice --convert-to txt:Text, its profile   %8.1f ms total, %d text files written\n",
                batchMs, countFiles(batchOut));
    std::printf("Batch: per file %.1f ms (office start included)\n\n", batchPerFile);
    std::printf("Ratio bridge/batch per file: mean %.2f, median %.2f\n", mean(perFile) / batchPerFile,
                median(perFile) / batchPerFile);
    return 0;
}
