// Which way of driving the office may the command-line batch use? Every way must
// write, byte for byte, the text file that the window's run writes.
//
//   bench_batch_ways [folder] [rounds]   (default: ../shared/corpus, 1 round)
//
// The reference is the window's run itself: ConversionRun with its two one-second
// waits per file, on the real private office. Then, on the same office, each
// candidate way converts every document; its text files are compared with the
// reference and its time is taken per document:
//   frame+dispatch   the window's calls (load into a new visible frame, controller,
//                    frame, ".uno:SaveAs" dispatch, close) without the waits
//   frame+store      load into a new visible frame, storeToURL, close
//   hidden+dispatch  load with Hidden=true, controller, frame, dispatch, close
//   hidden+store     load with Hidden=true, storeToURL, close (what soffice
//                    --convert-to does)
// The candidates are run round after round in turn, so that load on the machine
// falls on all of them alike; medians over the rounds are printed.
#include "BenchSupport.h"
#include "OfficeBatch.h"

#include "convert/office/UnoErrors.h"
#include "convert/office/UnoHandle.h"
#include "convert/office/UnoOfficeBridge.h"
#include "convert/office/UnoString.h"
#include "util/AppError.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <cstdio>

using namespace bench;

namespace {

struct Way {
    const char *name;
    bool hidden;
    bool store;
};
const Way Ways[] = {{"frame+dispatch", false, false},
                    {"frame+store", false, true},
                    {"hidden+dispatch", true, false},
                    {"hidden+store", true, true}};

css::uno::Sequence<css::beans::PropertyValue> properties(std::initializer_list<std::pair<const char *, css::uno::Any>> list)
{
    css::uno::Sequence<css::beans::PropertyValue> result(static_cast<sal_Int32>(list.size()));
    int i = 0;
    for (const auto &[name, value] : list) {
        result.getArray()[i].Name = rtl::OUString::createFromAscii(name);
        result.getArray()[i].Value = value;
        ++i;
    }
    return result;
}

// One document the given way; throws AppError.
void convertWay(UnoOfficeBridge &office, const Way &way, const QString &source, const QString &target)
{
    const OfficeRef serviceManager = office.createServiceManager();
    const OfficeRef desktop = office.createInstance(serviceManager, OfficeService::Desktop);
    OfficeRef document;
    if (way.hidden) {
        document = officeCall(QStringLiteral("hidden load of %1").arg(source), [&] {
            const auto loader = unoInterfaceOf<css::frame::XComponentLoader>(desktop, QStringLiteral("desktop"));
            const auto loaded = loader->loadComponentFromURL(toOUString(FileUrlOf(source)), "_blank", 0,
                                                             properties({{"Hidden", css::uno::Any(true)}}));
            if (!loaded.is())
                throw AppError(QStringLiteral("no document"));
            return makeUnoHandle(loaded);
        });
    } else {
        document = office.loadComponentFromURL(desktop, FileUrlOf(source), FrameTarget::NewFrame, 0);
    }
    if (way.store) {
        officeCall(QStringLiteral("store of %1").arg(source), [&] {
            const auto storable = unoInterfaceOf<css::frame::XStorable>(document, QStringLiteral("document"));
            storable->storeToURL(toOUString(FileUrlOf(target)),
                                 properties({{"FilterName", css::uno::Any(rtl::OUString("Text"))}}));
        });
    } else {
        const OfficeRef dispatcher =
            office.createInstance(serviceManager, OfficeService::DispatchHelper);
        const OfficeRef frame = office.getFrame(office.getCurrentController(document));
        office.executeDispatch(dispatcher, frame, OfficeCommand::SaveAs, FrameTarget::SameFrame, 0,
                               {office.newPropertyValue(SaveArgument::Url, FileUrlOf(target)),
                                office.newPropertyValue(SaveArgument::FilterName, TextExportFilter())});
    }
    office.close(document, true);
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QDir(TARNWICK_SOURCE_DIR).absoluteFilePath("../shared/corpus");
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 1;
    QStringList documents;
    for (const QString &name : QDir(folder).entryList({"*.odt", "*.ott", "*.sxw", "*.stw"}, QDir::Files, QDir::Name))
        documents.append(QDir(folder).absoluteFilePath(name));
    if (documents.isEmpty()) {
        std::fprintf(stderr, "No Writer documents in %s\n", qPrintable(folder));
        return 1;
    }
    QTemporaryDir work;
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));

    UnoOfficeOptions options = UnoOfficeOptions::defaults();
    options.profileDir = work.filePath("profile");
    setRestartAfter(options, 0);
    UnoOfficeBridge office(options);

    // The reference: the window's run, waits and all.
    const QString referenceDir = work.filePath("window");
    QDir().mkpath(referenceDir);
    std::printf("window's run (two one-second waits a file)...\n");
    double windowMs = 0;
    {
        ListRunWindow window(documents, referenceDir);
        RecordingDialogs dialogs;
        ConversionRun run(window, office, dialogs);
        windowMs = millisecondsOf([&] { run.convertAll(); });
    }
    int referenceFiles = 0;
    for (const QString &document : documents)
        referenceFiles += QFileInfo::exists(QDir(referenceDir).filePath(textNameOf(document)));
    std::printf("  %.1f s, %d text files of %lld\n", windowMs / 1000, referenceFiles,
                static_cast<long long>(documents.size()));

    constexpr int WayCount = std::size(Ways);
    QList<QList<double>> totals(WayCount);          // per way, per round
    QList<QList<QList<double>>> perDocument(WayCount); // per way, per document, per round
    QList<QStringList> differing(WayCount), failing(WayCount);
    for (auto &list : perDocument)
        list.resize(documents.size());
    for (int round = 0; round < rounds; ++round) {
        for (int w = 0; w < WayCount; ++w) {
            // Each round starts the way on an office of its own, already running.
            office.shutdown();
            office.createServiceManager();
            const QString outDir = work.filePath(QStringLiteral("%1-%2").arg(Ways[w].name).arg(round));
            QDir().mkpath(outDir);
            double total = 0;
            for (qsizetype d = 0; d < documents.size(); ++d) {
                const QString target = QDir(outDir).filePath(textNameOf(documents[d]));
                const double ms = millisecondsOf([&] {
                    try {
                        convertWay(office, Ways[w], documents[d], target);
                    } catch (const AppError &) {
                    }
                });
                total += ms;
                perDocument[w][d].append(ms);
                const QString reference = QDir(referenceDir).filePath(textNameOf(documents[d]));
                const QString name = QFileInfo(documents[d]).fileName();
                if (!QFileInfo::exists(target)) {
                    if (QFileInfo::exists(reference) && !failing[w].contains(name))
                        failing[w].append(name);
                } else if (contentOf(target) != contentOf(reference) && !differing[w].contains(name)) {
                    differing[w].append(name);
                }
            }
            totals[w].append(total);
            std::printf("round %d %-16s %8.1f s  differ so far %lld, not written so far %lld  load %s\n", round + 1,
                        Ways[w].name, total / 1000, static_cast<long long>(differing[w].size()),
                        static_cast<long long>(failing[w].size()), qPrintable(loadAverage()));
        }
    }
    office.shutdown();

    std::printf("\nload average at end: %s\n\n", qPrintable(loadAverage()));
    std::printf("%-16s %10s %10s %10s %10s  %s\n", "way", "median s", "doc median", "vs first", "differ", "failed");
    const double firstTotal = median(totals[0]);
    for (int w = 0; w < WayCount; ++w) {
        QList<double> medians;
        for (const auto &times : perDocument[w])
            medians.append(median(times));
        std::printf("%-16s %10.1f %8.1f ms %10.2f %10lld  %lld\n", Ways[w].name, median(totals[w]) / 1000,
                    median(medians), ratio(median(totals[w]), firstTotal),
                    static_cast<long long>(differing[w].size()), static_cast<long long>(failing[w].size()));
        for (const QString &name : differing[w])
            std::printf("    differs: %s\n", qPrintable(name));
        for (const QString &name : failing[w])
            std::printf("    not written: %s\n", qPrintable(name));
    }
    return 0;
}
