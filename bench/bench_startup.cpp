// Start-up of the built program under Xvfb: from the exec of `tarnwick` to its main
// window "Tarnwick" being mapped, seen as the MapNotify event on the X server's
// root window. The program checks the office (and so starts its private office)
// before it shows the window, so the office's own start is measured next to it in
// the same run, two ways: the bridge starting soffice.bin headless until its pipe
// answers (what the program's start-up waits for), and `soffice --headless
// --terminate_after_init` and `soffice --headless --convert-to txt:Text` of one
// one-paragraph document (the office started and ready for work).
//
//   bench_startup [runs] [tarnwick binary]      (default: 5 runs, the built program)
//
// Cold: a new HOME (XDG_CONFIG_HOME and XDG_CACHE_HOME inside it): no settings, no
// office profile, so the first start also records the samples and the office
// makes its profile. Warm: a second start with the same HOME. The peers' cold and
// warm are a new and the same office profile folder. Xvfb is started here on a
// free display; the program is closed after each start as a window manager would
// (WM_DELETE_WINDOW).
#include "BenchSupport.h"

#include "assets/WriterDocuments.h"

#include "convert/office/OfficeInstallation.h"
#include "convert/office/UnoOfficeBridge.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <array>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <xcb/xcb.h>

using namespace bench;

namespace {

xcb_atom_t atomOf(xcb_connection_t *x, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

class Display {
public:
    bool open(const QByteArray &name)
    {
        int screenNumber = 0;
        m_x = xcb_connect(name.constData(), &screenNumber);
        if (xcb_connection_has_error(m_x))
            return false;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_x, m_root, XCB_CW_EVENT_MASK, &mask);
        m_netWmName = atomOf(m_x, "_NET_WM_NAME");
        m_utf8 = atomOf(m_x, "UTF8_STRING");
        m_protocols = atomOf(m_x, "WM_PROTOCOLS");
        m_deleteWindow = atomOf(m_x, "WM_DELETE_WINDOW");
        xcb_flush(m_x);
        return true;
    }
    ~Display()
    {
        if (m_x)
            xcb_disconnect(m_x);
    }

    // Waits for a top-level window to be mapped; its id, or 0 after the time-out.
    xcb_window_t nextMapped(int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_x)) {
                xcb_window_t mapped = 0;
                if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY)
                    mapped = reinterpret_cast<xcb_map_notify_event_t *>(event)->window;
                std::free(event);
                if (mapped)
                    return mapped;
            }
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0)
                return 0;
            pollfd wait{xcb_get_file_descriptor(m_x), POLLIN, 0};
            ::poll(&wait, 1, int(left));
        }
    }

    QString titleOf(xcb_window_t window)
    {
        const std::array<std::pair<xcb_atom_t, xcb_atom_t>, 2> names{
            {{m_netWmName, m_utf8}, {XCB_ATOM_WM_NAME, XCB_ATOM_STRING}}};
        for (const auto &[property, type] : names) {
            xcb_get_property_reply_t *reply =
                xcb_get_property_reply(m_x, xcb_get_property(m_x, 0, window, property, type, 0, 256), nullptr);
            QString title;
            if (reply && xcb_get_property_value_length(reply) > 0)
                title = QString::fromUtf8(static_cast<const char *>(xcb_get_property_value(reply)),
                                          xcb_get_property_value_length(reply));
            std::free(reply);
            if (!title.isEmpty())
                return title;
        }
        return {};
    }

    void askToClose(xcb_window_t window)
    {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = m_protocols;
        message.data.data32[0] = m_deleteWindow;
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_x, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
        xcb_flush(m_x);
    }

private:
    xcb_connection_t *m_x = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_netWmName = 0, m_utf8 = 0, m_protocols = 0, m_deleteWindow = 0;
};

struct Start {
    double ms = -1;        // to the main window mapped; -1 when it never was
    QStringList otherWindows; // titles of other windows mapped before it
};

// Starts the program with that HOME and waits for its main window; closes it.
Start startProgram(Display &display, const QString &program, const QString &home, const QString &x11)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home);
    environment.insert("XDG_CONFIG_HOME", home + "/.config");
    environment.insert("XDG_CACHE_HOME", home + "/.cache");
    environment.insert("XDG_DATA_HOME", home + "/.local/share");
    environment.insert("DISPLAY", x11);
    environment.insert("QT_QPA_PLATFORM", "xcb");
    QProcess tarnwick;
    tarnwick.setProcessEnvironment(environment);
    tarnwick.setStandardOutputFile(QProcess::nullDevice());
    tarnwick.setStandardErrorFile(QDir(home).filePath("stderr.txt"));

    Start start;
    QElapsedTimer clock;
    clock.start();
    tarnwick.start(program, {});
    xcb_window_t main = 0;
    while (!main) {
        const xcb_window_t mapped = display.nextMapped(int(std::max<qint64>(1, 120000 - clock.elapsed())));
        if (!mapped)
            break;
        const QString title = display.titleOf(mapped);
        if (title == QLatin1String("Tarnwick")) {
            start.ms = clock.nsecsElapsed() / 1e6;
            main = mapped;
        } else {
            start.otherWindows.append(title.isEmpty() ? QStringLiteral("(untitled)") : title);
        }
    }
    if (main)
        display.askToClose(main);
    if (!tarnwick.waitForFinished(60000)) {
        tarnwick.kill();
        tarnwick.waitForFinished(5000);
    }
    return start;
}

// ms of one soffice call with that profile and these arguments.
double sofficeCall(const QString &soffice, const QString &profile, const QStringList &arguments)
{
    return millisecondsOf([&] {
        QProcess office;
        office.setStandardOutputFile(QProcess::nullDevice());
        office.setStandardErrorFile(QProcess::nullDevice());
        office.start(soffice, QStringList{QStringLiteral("-env:UserInstallation=")
                                              + QUrl::fromLocalFile(profile).toString(),
                                          QStringLiteral("--headless")}
                                  + arguments);
        office.waitForFinished(-1);
    });
}

void printSeries(const char *name, const QList<double> &values)
{
    std::printf("%-50s", name);
    for (double value : values)
        std::printf(" %7.0f", value);
    std::printf("  | mean %7.0f median %7.0f ms\n", mean(values), median(values));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // progress shows when written to a file
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const QString program = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(TARNWICK_BINARY);
    if (!QFileInfo(program).isExecutable()) {
        std::fprintf(stderr, "No program at %s\n", qPrintable(program));
        return 1;
    }
    QTemporaryDir work;

    // A display of our own.
    QProcess xvfb;
    QString x11;
    Display display;
    for (int number = 150; number < 250 && x11.isEmpty(); ++number) {
        if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number))
            || QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            continue;
        xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(number), QStringLiteral("-screen"),
                                            QStringLiteral("0"), QStringLiteral("1024x768x24"),
                                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        xvfb.waitForStarted(5000);
        for (int tries = 0; tries < 100 && xvfb.state() == QProcess::Running; ++tries) {
            if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number))
                && display.open(QStringLiteral(":%1").arg(number).toLatin1())) {
                x11 = QStringLiteral(":%1").arg(number);
                break;
            }
            QThread::msleep(50);
        }
        if (x11.isEmpty()) {
            xvfb.kill();
            xvfb.waitForFinished(5000);
        }
    }
    if (x11.isEmpty()) {
        std::fprintf(stderr, "Xvfb could not be started\n");
        return 1;
    }
    const QString soffice = QDir(findOffice(defaultOfficeSearchPath()).programDir).filePath("soffice");
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));
    std::printf("%s on %s, %d runs each; times in ms\n\n", qPrintable(program), qPrintable(x11), runs);

    const QString tiny = work.filePath(QStringLiteral("tiny.odt"));
    writeOdt(tiny, {QStringLiteral("One paragraph.")});
    QList<double> oursCold, oursWarm, bridgeCold, bridgeWarm, sofficeCold, sofficeWarm, oneDocumentCold,
        oneDocumentWarm;
    QStringList otherWindows;
    int missing = 0;
    for (int run = 0; run < runs; ++run) {
        const QString home = work.filePath(QStringLiteral("home-%1").arg(run));
        QDir().mkpath(home);
        for (QList<double> *series : {&oursCold, &oursWarm}) {
            const Start start = startProgram(display, program, home, x11);
            if (start.ms < 0)
                ++missing;
            else
                series->append(start.ms);
            otherWindows += start.otherWindows;
        }
        UnoOfficeOptions options = UnoOfficeOptions::defaults();
        options.profileDir = work.filePath(QStringLiteral("bridge-profile-%1").arg(run));
        UnoOfficeBridge bridge(options);
        bridgeCold.append(millisecondsOf([&] { bridge.createServiceManager(); }));
        bridge.shutdown();
        bridgeWarm.append(millisecondsOf([&] { bridge.createServiceManager(); }));
        bridge.shutdown();
        const QString profile = work.filePath(QStringLiteral("soffice-profile-%1").arg(run));
        const QStringList terminate{QStringLiteral("--terminate_after_init")};
        sofficeCold.append(sofficeCall(soffice, profile, terminate));
        sofficeWarm.append(sofficeCall(soffice, profile, terminate));
        const QString oneProfile = work.filePath(QStringLiteral("one-document-profile-%1").arg(run));
        const QStringList convertOne{QStringLiteral("--convert-to"), QStringLiteral("txt:Text"),
                                     QStringLiteral("--outdir"), work.filePath(QStringLiteral("out-%1").arg(run)),
                                     tiny};
        oneDocumentCold.append(sofficeCall(soffice, oneProfile, convertOne));
        oneDocumentWarm.append(sofficeCall(soffice, oneProfile, convertOne));
    }
    xvfb.terminate();
    xvfb.waitForFinished(5000);

    printSeries("tarnwick to window, cold", oursCold);
    printSeries("tarnwick to window, warm", oursWarm);
    printSeries("office start by the bridge, cold", bridgeCold);
    printSeries("office start by the bridge, warm", bridgeWarm);
    printSeries("soffice --headless --terminate_after_init, cold", sofficeCold);
    printSeries("soffice --headless --terminate_after_init, warm", sofficeWarm);
    printSeries("soffice --headless --convert-to, 1 doc, cold", oneDocumentCold);
    printSeries("soffice --headless --convert-to, 1 doc, warm", oneDocumentWarm);
    if (missing)
        std::printf("%d starts never showed the window\n", missing);
    if (!otherWindows.isEmpty())
        std::printf("other windows mapped before the main window: %s\n", qPrintable(otherWindows.join(", ")));

    std::printf("\nratio ours/office (medians)     cold   warm\n");
    std::printf("  soffice --terminate_after_init %5.2f  %5.2f\n", ratio(median(oursCold), median(sofficeCold)),
                ratio(median(oursWarm), median(sofficeWarm)));
    std::printf("  soffice --convert-to 1 doc     %5.2f  %5.2f\n", ratio(median(oursCold), median(oneDocumentCold)),
                ratio(median(oursWarm), median(oneDocumentWarm)));
    std::printf("  the bridge's office start      %5.2f  %5.2f\n", ratio(median(oursCold), median(bridgeCold)),
                ratio(median(oursWarm), median(bridgeWarm)));
    std::printf("the program's own share (median to window less median bridge start): cold %.0f ms, warm %.0f ms\n",
                median(oursCold) - median(bridgeCold), median(oursWarm) - median(bridgeWarm));
    std::printf("load average at end: %s\n", qPrintable(loadAverage()));
    return 0;
}
