// How much CPU time an office spends while a call waits on it, by what the office
// is doing: idle between calls, blocked in a read that never ends (a named pipe
// with no writer, as a dead network share), connecting to a host that never
// answers, stopped, and at work on a long document. The watchdog's threshold for
// "no work" comes from these figures. Also what one look at the office's process
// group costs.
//
//   bench_hang_cpu [seconds per case]
#include "BenchSupport.h"

#include "assets/WriterDocuments.h"
#include "convert/office/UnoOfficeBridge.h"
#include "util/AppError.h"
#include "util/ProcessInfo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <thread>

using namespace bench;

namespace {

// The office's CPU time over `seconds`, printed as ms a minute and share of a core.
void measure(const char *what, qint64 office, int seconds)
{
    const qint64 before = UsageOfGroup(office).cpuMs;
    QElapsedTimer clock;
    clock.start();
    QThread::sleep(seconds);
    const qint64 spent = UsageOfGroup(office).cpuMs - before;
    const double elapsed = clock.elapsed() / 1000.0;
    std::printf("%-44s %6lld ms CPU in %5.1f s: %8.1f ms a minute, %6.2f %% of a core\n", what, spent, elapsed,
                spent / elapsed * 60, spent / elapsed / 10);
    std::fflush(stdout);
}

// Runs `call` on a thread of its own while the office is measured, then ends the
// office so that the call returns.
void measureDuring(const char *what, UnoOfficeBridge &office, int seconds, const std::function<void()> &call)
{
    office.createServiceManager();
    const qint64 pid = office.officeProcessId();
    std::atomic<bool> returned = false;
    std::thread caller([&] {
        try {
            call();
        } catch (const AppError &) {
        }
        returned = true;
    });
    QThread::msleep(1000); // the call under way
    measure(what, pid, seconds);
    if (returned)
        std::printf("    (the call had returned before the end: the office was not kept waiting all along)\n");
    office.shutdown();
    caller.join();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    QTemporaryDir work;
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));

    UnoOfficeOptions options = UnoOfficeOptions::defaults();
    options.callTimeoutMs = 3600 * 1000; // the watchdog stays out of it
    UnoOfficeBridge office(options);
    office.createServiceManager();
    const qint64 pid = office.officeProcessId();

    QList<double> looks;
    for (int i = 0; i < 200; ++i)
        looks << millisecondsOf([&] { UsageOfGroup(pid); });
    std::printf("one look at the office's group: median %.2f ms, largest %.2f ms (%lld processes on the machine)\n",
                median(looks), *std::max_element(looks.begin(), looks.end()), qint64(ProcessIds().size()));

    measure("idle between calls", pid, seconds);

    const QString fifo = work.filePath(QStringLiteral("never-written.odt"));
    ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
    measureDuring("load blocked on a pipe nobody writes", office, seconds, [&] {
        office.loadWithoutView(office.createServiceManager(), FileUrlOf(fifo));
    });
    measureDuring("load from a host that never answers", office, seconds, [&] {
        const OfficeRef desktop = office.createInstance(office.createServiceManager(), OfficeService::Desktop);
        office.loadComponentFromURL(desktop, QStringLiteral("http://10.255.255.1/never.odt"), FrameTarget::NewFrame, 0);
    });

    office.createServiceManager();
    const qint64 stopped = office.officeProcessId();
    ::kill(pid_t(stopped), SIGSTOP);
    measure("stopped (SIGSTOP)", stopped, std::min(seconds, 10));
    office.shutdown();

    const QString marks = work.filePath(QStringLiteral("marks.odt"));
    writeMarkedOdt(marks, 20000);
    measureDuring("at work: loading 20,000 bookmarks", office, std::min(seconds, 8), [&] {
        office.loadWithoutView(office.createServiceManager(), FileUrlOf(marks));
    });
    std::printf("load average at end: %s\n", qPrintable(loadAverage()));
    return 0;
}
