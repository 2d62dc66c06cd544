#include "app/MainWindow.h"
#include "app/QtDialogs.h"
#include "app/SettingsStore.h"
#include "convert/office/UnoOfficeBridge.h"

#include <QApplication>

int main(int argc, char **argv)
{
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
