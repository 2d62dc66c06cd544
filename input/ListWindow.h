#pragma once

#include "app/Dialogs.h"

#include <QString>
#include <QStringList>
#include <functional>

class SettingsStore;

// What the commands that fill the file list need from the main window. The window
// fills it in; commands take only what they use.
struct ListWindow {
    Dialogs &dialogs;            // also the owner of every dialog
    SettingsStore &settings;
    QString applicationTitle;    // title of boxes that give none of their own
    std::function<void(const QString &path)> appendRow;
    std::function<QStringList()> rows;            // the row texts, first to last
    std::function<void(bool busy)> setBusyPointer; // hourglass on / normal pointer
};
