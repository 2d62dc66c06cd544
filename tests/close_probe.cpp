// The real window closed while its office hangs:
//   close_probe <document>
// Starts the window on the real office, prints "office <pid>", stops the office
// (SIGSTOP), starts a run over the document and asks the window to close half a
// second later. Prints "closing <lateness in ms>" when the close request is handled;
// the window's own close then ends the program (exit code 0). Exit code 3 means
// the run came back instead.
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "convert/office/UnoOfficeBridge.h"
#include "support/ScriptedDialogs.h"
#include "support/WindowControls.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: close_probe <document>\n");
        return 2;
    }
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("settings.ini")));
    ScriptedDialogs dialogs;
    UnoOfficeBridge office;
    Form1 window(dialogs, settings, office);
    window.setHomePageDraw([] { return 1; });
    window.setProgramFolder(dir.path());
    window.conversionRun().setWaitSeconds(0);
    if (!window.Form_Load())
        return 1;
    window.show();
    ListView1(window)->AppendRow(QString::fromLocal8Bit(argv[1]));
    Option2(window)->click();

    const auto pid = static_cast<pid_t>(office.officeProcessId());
    std::printf("office %d\n", int(pid));
    std::fflush(stdout);
    ::kill(pid, SIGSTOP);

    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(500, &window, [&] {
        std::printf("closing %lld\n", static_cast<long long>(clock.elapsed() - 500));
        std::fflush(stdout);
        dir.remove(); // the window's close ends the program without destructors
        window.close();
    });
    PushButton2(window)->click();
    std::printf("the run came back\n");
    return 3;
}
