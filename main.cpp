#include "app/DisplayCheck.h"
#include "app/MainWindow.h"
#include "app/QtDialogs.h"
#include "app/SettingsStore.h"
#include "batch/ProgramInfo.h"
#include "batch/RunBatch.h"
#include "convert/office/UnoOfficeBridge.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    // The batch, the help and the version need no display, and without one Qt
    // would abort: all is decided before a QApplication exists.
    if (IsBatchCommand(argc, argv))
        return RunBatch(argc, argv);
    if (const std::optional<int> status = RunInfoOption(argc, argv))
        return *status;
    if (const QString problem = DisplayProblem(); !problem.isEmpty()) {
        std::fputs(qPrintable(NoDisplayLine(problem)), stderr);
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));

    SettingsStore settings;
    QtDialogs dialogs;
    UnoOfficeBridge office;
    Form1 window(dialogs, settings, office);
    dialogs.setOwner(&window);

    if (!window.Form_Load()) {
        office.shutdown();
        return 0;
    }
    window.showCentred();
    const int code = app.exec();
    office.shutdown();
    return code;
}
