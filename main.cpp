#include "app/MainWindow.h"
#include "app/QtDialogs.h"
#include "app/SettingsStore.h"
#include "batch/RunBatch.h"
#include "convert/office/UnoOfficeBridge.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // The batch needs no window and no display: it must decide before a
    // QApplication exists.
    if (IsBatchCommand(argc, argv))
        return RunBatch(argc, argv);

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
