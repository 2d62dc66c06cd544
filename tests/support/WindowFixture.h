#pragma once

#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "support/FakeOffice.h"
#include "support/ScriptedDialogs.h"
#include "support/TestFiles.h"
#include "support/WindowControls.h"

#include <QTemporaryDir>
#include <memory>

// A main window over scripted dialogs and a settings file of its own, on the fake
// office or on any other (the real one, one that is made to fail). Closing it counts
// instead of ending the program; the home page is never drawn.
struct WindowFixture {
    // Settings in a file of the fixture's own, or in the file given.
    explicit WindowFixture(const QString &settingsFile = {})
        : settings(settingsFile.isEmpty() ? dir.filePath(QStringLiteral("settings.ini")) : settingsFile)
    {
    }

    QTemporaryDir dir;
    SettingsStore settings;
    ScriptedDialogs dialogs;
    FakeOffice office;
    std::unique_ptr<Form1> window;
    int terminations = 0;

    // A new window on `other` (the fake office when null). The run's two waits per
    // file take `waitSeconds` each.
    Form1 &make(OfficeBridge *other = nullptr, double waitSeconds = 0)
    {
        window.reset();
        window = std::make_unique<Form1>(dialogs, settings, other ? *other : office);
        window->setTerminator([this] { ++terminations; });
        window->conversionRun().setWaitSeconds(waitSeconds);
        window->setHomePageDraw([] { return 1; });
        window->setProgramFolder(dir.path() + QStringLiteral("/program/"));
        return *window;
    }

    // make() and the start-up sequence.
    Form1 &loaded(OfficeBridge *other = nullptr, double waitSeconds = 0)
    {
        make(other, waitSeconds).Form_Load();
        return *window;
    }

    // Writes a small file under the fixture's folder and returns its path.
    QString file(const QString &relative, const QByteArray &content = "x")
    {
        return writeFile(dir.filePath(relative), content);
    }
};
