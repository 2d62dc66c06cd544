// The window's settings file spoilt or unwritable, on the scripted office.
#include "app/SettingsStore.h"
#include "support/FakeOffice.h"
#include "support/TestEnvironment.h"
#include "support/WindowRunOnOffice.h"
#include "util/PathHelpers.h"

#include <QRadioButton>
#include <QLineEdit>

class TestSpoiltSettings : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    // A settings file that is spoilt or cannot be written: the window starts with
    // defaults, a file it cannot understand is kept, and the options still work.
    void spoiltSettings_data()
    {
        QTest::addColumn<QString>("form");      // "file", "folder" (the file is one), "under a file"
        QTest::addColumn<QByteArray>("bytes");  // of the file; %1 stands for a folder that exists
        QTest::addColumn<QString>("folderBox"); // empty: the desktop folder
        QTest::addColumn<bool>("option1");
        QTest::addColumn<QStringList>("lines"); // of the start-up's error reports
        QTest::addColumn<bool>("keptAside");    // the file could not be understood

        QByteArray garbage;
        for (int i = 0; i < 600; ++i)
            garbage += char((i * 37 + 11) % 256);
        QTest::newRow("garbage bytes") << "file" << garbage << QString() << true << QStringList() << true;
        // A value that is no yes/no is reported at its step and leaves its option as it was.
        QTest::newRow("truncated") << "file" << QByteArray("[Tarnwick]\nText1=%1/\nOption1=False\nOption2=Tr")
                                   << "%1/" << false << QStringList{"140"} << false;
        QTest::newRow("wrong types")
            << "file" << QByteArray("[Tarnwick]\nText1=@Rect(1 2 3 4)\nOption1=maybe\nOption2=@Variant(\\0\\x7f)\n")
            << QString() << true << QStringList{"138"} << false;
        QTest::newRow("unquoted list") << "file" << QByteArray("[Tarnwick]\nText1=%1/Smith, John/\n")
                                       << "%1/Smith, John/" << true << QStringList() << false;
        // Nothing can be saved: the first save of the start-up says so.
        QTest::newRow("file is a folder") << "folder" << QByteArray() << QString() << true << QStringList{"108"}
                                          << false;
        QTest::newRow("folder is a file") << "under a file" << QByteArray() << QString() << true
                                          << QStringList{"108"} << false;
    }

    void spoiltSettings()
    {
        QFETCH(QString, form);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, folderBox);
        QFETCH(bool, option1);
        QFETCH(QStringList, lines);
        QFETCH(bool, keptAside);

        const QString root = m_dir.filePath(QStringLiteral("settings/") + QTest::currentDataTag());
        QDir().mkpath(root + QStringLiteral("/Smith, John"));
        bytes.replace("%1", QFile::encodeName(root));
        folderBox.replace(QStringLiteral("%1"), root);
        QString file = root + QStringLiteral("/s.ini");
        if (form == QLatin1String("file"))
            writeFile(file, bytes);
        else if (form == QLatin1String("folder"))
            QDir().mkpath(file);
        else {
            writeFile(root + QStringLiteral("/plain"), "a plain file");
            file = root + QStringLiteral("/plain/s.ini");
        }
        const TreeState before = treeState(root);

        FakeOffice office;
        auto w = openWindow(office, file);
        QVERIFY(w->window->Form_Load());
        QCOMPARE(w->dialogs.errorReports().size(), lines.size());
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(w->dialogs.errorReports()[i].contains(QStringLiteral(" at line ") + lines[i] + QLatin1Char('\r')),
                     qPrintable(w->dialogs.errorReports()[i]));
        QCOMPARE(Text1(*w->window)->text(), folderBox.isEmpty() ? GetDesktopFolder() : folderBox);
        QCOMPARE(Option1(*w->window)->isChecked(), option1);
        QVERIFY(!Option2(*w->window)->isChecked());

        QTest::mouseClick(Option2(*w->window), Qt::LeftButton);
        QVERIFY(Option2(*w->window)->isChecked());
        const QStringList changes = treeChanges(before, treeState(root));
        if (form != QLatin1String("file")) {
            QCOMPARE(changes, QStringList()); // nothing could be saved, and nothing was lost
            return;
        }
        if (keptAside) {
            // Kept as it was, beside a new store that works.
            QCOMPARE(changes, QStringList({"* s.ini", "+ s.ini.unreadable"}));
            QFile kept(file + QStringLiteral(".unreadable"));
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), bytes);
        }
        QCOMPARE(SettingsStore(file).GetSetting(QStringLiteral("Option2"), QString()), QStringLiteral("True"));
        QCOMPARE(SettingsStore(file).GetSetting(QStringLiteral("Text1"), QString()), Text1(*w->window)->text());
    }
};

TARNWICK_TEST_MAIN(TestSpoiltSettings)
#include "test_spoilt_settings.moc"
