#include "support/TestEnvironment.h"
#include "util/AppError.h"
#include "util/EventPump.h"
#include "util/PathHelpers.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

class TestPathHelpers : public QObject {
    Q_OBJECT
private slots:
    void fileNameAndFolder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder");
        QTest::newRow("file in folder") << "/docs/a.odt" << "a.odt" << "/docs/";
        QTest::newRow("folder only") << "/docs/" << "" << "/docs/";
        QTest::newRow("bare name") << "report.odt" << "report.odt" << "";
        QTest::newRow("empty") << "" << "" << "";
        QTest::newRow("root file") << "/a" << "a" << "/";
        QTest::newRow("backslash is no separator here") << "C:\\x\\a.odt" << "C:\\x\\a.odt" << "";
    }
    void fileNameAndFolder()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QFETCH(QString, folder);
        QCOMPARE(FileNameOf(path), name);
        QCOMPARE(FolderOf(path), folder);
    }

    void collapse_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("relative double") << "docs//a.odt" << "docs/a.odt";
        QTest::newRow("inner double") << "/home//a.odt" << "/home/a.odt";
        QTest::newRow("three become two") << "/home///a.odt" << "/home//a.odt";
        QTest::newRow("four become two") << "/home////a.odt" << "/home//a.odt";
        QTest::newRow("leading run") << "//home/a.odt" << "/home/a.odt";
        QTest::newRow("long leading run") << "////home//a.odt" << "/home/a.odt";
        QTest::newRow("lone separator") << "/" << "/";
        QTest::newRow("only separators") << "///" << "/";
        QTest::newRow("trailing pair") << "/out//" << "/out/";
    }
    void collapse()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(CollapseBackslashes(path), expected);
    }

    void isFolderAndFileExists()
    {
        QTemporaryDir dir;
        const QString folder = dir.path();
        const QString file = folder + "/a.odt";
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();

        QVERIFY(IsFolder(folder));
        QVERIFY(IsFolder(folder + "/"));
        QVERIFY(!IsFolder(file));
        QVERIFY(!IsFolder(QString()));
        QVERIFY(!IsFolder(folder + "/missing"));

        QVERIFY(FileExists(file));
        QVERIFY(FileExists(folder));
        QVERIFY(!FileExists(folder + "/missing.odt"));
        QVERIFY(!FileExists(QString()));
    }

    // The XDG desktop folder when it is there, the home folder otherwise (also the
    // first run in test_conversion_run); none is made.
    void desktopFolderIsOneThatExists()
    {
        const QString home = QDir::homePath();
        QCOMPARE(GetDesktopFolder(), home + "/Desktop/");

        QFile dirs(qEnvironmentVariable("XDG_CONFIG_HOME") + "/user-dirs.dirs");
        QVERIFY(dirs.open(QIODevice::WriteOnly));
        dirs.write("XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
        dirs.close();
        QCOMPARE(GetDesktopFolder(), home + "/");
        QVERIFY(!QFileInfo::exists(home + "/Bureau"));
        QVERIFY(QDir(home).mkdir("Bureau"));
        QCOMPARE(GetDesktopFolder(), home + "/Bureau/");
        QVERIFY(dirs.remove() && QDir(home).rmdir("Bureau"));
    }

    void pauseWaitsWhileEventsRun()
    {
        bool timerFired = false;
        QTimer::singleShot(50, [&] { timerFired = true; });
        QElapsedTimer clock;
        clock.start();
        Pause(0.3);
        QVERIFY(clock.elapsed() >= 300);
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY(timerFired);
    }

    void pauseOfZeroProcessesNothing()
    {
        bool timerFired = false;
        QTimer::singleShot(0, [&] { timerFired = true; });
        Pause(0);
        Pause(-1);
        QVERIFY(!timerFired);
        YieldToEvents();
        QVERIFY(timerFired);
    }
};

TARNWICK_TEST_MAIN(TestPathHelpers)
#include "test_path_helpers.moc"
