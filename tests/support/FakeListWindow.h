#pragma once

#include "app/SettingsStore.h"
#include "input/ListWindow.h"
#include "support/ScriptedDialogs.h"

#include <QTemporaryDir>
#include <functional>

// The window side of a list-filling command, recording what the command did to it.
class FakeListWindow : public ListWindow {
public:
    // Settings in a file of their own, or in the file given.
    explicit FakeListWindow(const QString &settingsFile = {})
        : settingsStore(settingsFile.isEmpty() ? m_settingsDir.filePath(QStringLiteral("settings.ini")) : settingsFile)
    {
    }

private:
    QTemporaryDir m_settingsDir; // made before the store that may live in it

public:
    ScriptedDialogs scripted;
    SettingsStore settingsStore;
    QStringList rowTexts;
    QList<bool> pointer;
    std::function<void(bool busy)> onBusy;         // runs before each change of the pointer is recorded
    std::function<void(const QString &)> onAppend; // runs before each row is appended; may throw

    Dialogs &dialogs() override { return scripted; }
    Settings &settings() override { return settingsStore; }
    QString applicationTitle() const override { return QStringLiteral("Tarnwick"); }
    void appendRow(const QString &path) override
    {
        if (onAppend)
            onAppend(path);
        rowTexts << path;
    }
    QStringList rows() const override { return rowTexts; }
    void setBusy(bool busy) override
    {
        if (onBusy)
            onBusy(busy);
        pointer << busy;
    }
};
