#pragma once

#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "input/FileListView.h"
#include "support/FakeOffice.h"
#include "support/ScriptedDialogs.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <memory>

// A main window over scripted dialogs, a fake office and a settings file of its own.
struct WindowFixture {
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(QStringLiteral("settings.ini"))};
    ScriptedDialogs dialogs;
    FakeOffice office;
    std::unique_ptr<Form1> window;
    int terminations = 0;

    Form1 &make()
    {
        window = std::make_unique<Form1>(dialogs, settings, office);
        window->setTerminator([this] { ++terminations; });
        window->conversionRun().setWaitSeconds(0);
        window->setHomePageDraw([] { return 1; });
        window->setProgramFolder(dir.path() + QStringLiteral("/program/"));
        return *window;
    }

    Form1 &loaded()
    {
        make().Form_Load();
        return *window;
    }

    // Writes a small file and returns its path.
    QString file(const QString &relative, const QByteArray &content = "x")
    {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
        return path;
    }
};
