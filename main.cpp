#include "app/DisplayCheck.h"
#include "app/LaunchFeedback.h"
#include "app/MainWindow.h"
#include "app/QtDialogs.h"
#include "app/SettingsStore.h"
#include "app/WindowChannel.h"
#include "app/WindowCommandLine.h"
#include "batch/ProgramInfo.h"
#include "batch/RunBatch.h"
#include "convert/office/OfficeConfinement.h"
#include "convert/office/UnoOfficeBridge.h"
#include "serve/RunService.h"
#include "serve/UserServiceClient.h"
#include "util/StandardStreams.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>

int main(int argc, char **argv)
{
    OpenClosedStandardStreams();
    // The batch, the help and the version need no display, and without one Qt
    // would abort: all is decided before a QApplication exists.
    if (IsBatchCommand(argc, argv)) {
        // One document to stdout goes to the user's service when it can: its office
        // is already running.
        if (const std::optional<int> served = ConvertThroughUserService(argc, argv))
            return *served;
        return RunBatch(argc, argv);
    }
    if (IsServeCommand(argc, argv))
        return RunService(argc, argv);
    if (const std::optional<int> status = RunInfoOption(argc, argv))
        return *status;
    // So is a usage error. Qt is given no argument, so that it takes no file name for
    // one of its own options.
    const auto commandLine = ParseWindowCommandLine(QByteArrayList(argv + 1, argv + argc), QDir::currentPath());
    if (const auto *usage = std::get_if<WindowUsageError>(&commandLine)) {
        std::fputs(("tarnwick: " + usage->text + "\n" + WindowUsageText()).toLocal8Bit().constData(), stderr);
        return 2;
    }
    if (const QString problem = DisplayProblem(); !problem.isEmpty()) {
        std::fputs(qPrintable(NoDisplayLine(problem)), stderr);
        return 2;
    }
    const LaunchFeedback launchFeedback = LaunchFeedback::fromEnvironment();
    int qtArgumentCount = 1;
    QApplication app(qtArgumentCount, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));

    // One window per user and display: a window that runs already takes this start's
    // documents and folders, and this program ends before it starts an office.
    const QStringList paths = std::get<WindowPaths>(commandLine).paths;
    WindowChannel channel(WindowChannel::defaultFolder(), WindowChannel::currentDisplay());
    const WindowChannel::Start start = channel.start(paths);
    if (start == WindowChannel::Start::HandedOver) {
        launchFeedback.end(); // the window that took the paths does not show anew
        return 0;
    }
    if (!channel.problem().isEmpty())
        std::fputs(qPrintable(QStringLiteral("tarnwick: ") + channel.problem() + QLatin1Char('\n')), stderr);

    if (const ConfinementHere &here = OfficeConfinementHere(); !here.available)
        std::fputs(qPrintable(QStringLiteral("tarnwick: ") + UnconfinedOfficeNotice(here) + QLatin1Char('\n')), stderr);

    SettingsStore settings;
    QtDialogs dialogs;
    UnoOfficeBridge office;
    Form1 window(dialogs, settings, office);
    dialogs.setOwner(&window);
    QObject::connect(&channel, &WindowChannel::pathsHandedOver, &window, &Form1::takeHandedOverPaths);

    if (!window.Form_Load()) { // no office: the user was told, the reason is on stderr
        office.shutdown();
        return 1;
    }
    // Beside a window that did not answer, not on top of it.
    window.showCentred(start == WindowChannel::Start::Unanswered ? Form1::ApartOffset : QPoint());
    // The documents and folders of the command line go into the list as a drop of
    // them does, once the window shows.
    if (!paths.isEmpty())
        QTimer::singleShot(0, &window, [&window, &paths] { window.ListView1_OLEDragDrop(paths); });
    const int code = app.exec();
    office.shutdown();
    return code;
}
