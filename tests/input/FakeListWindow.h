#pragma once

#include "app/SettingsStore.h"
#include "input/ListWindow.h"
#include "support/ScriptedDialogs.h"

#include <QTemporaryDir>

// The window side of a list-filling command, recording what the command did to it.
struct FakeListWindow {
    ScriptedDialogs dialogs;
    QTemporaryDir settingsDir;
    SettingsStore settings{settingsDir.filePath("settings.ini")};
    QStringList rows;
    QList<bool> pointer;
    // Called before each change of the pointer is recorded.
    std::function<void(bool busy)> onBusy;

    ListWindow window()
    {
        return ListWindow{dialogs, settings, "Tarnwick",
                          [this](const QString &row) { rows << row; },
                          [this] { return rows; },
                          [this](bool busy) {
                              if (onBusy)
                                  onBusy(busy);
                              pointer << busy;
                          }};
    }
};
