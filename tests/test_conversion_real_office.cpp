// The whole run, from the window's Start button to the text files, with the real
// office suite doing the conversion.
#include "app/MainWindow.h"
#include "convert/OfficeCheck.h"
#include "convert/office/UnoOfficeBridge.h"
#include "input/FileListView.h"
#include "assets/WriterDocuments.h"
#include "support/ScriptedDialogs.h"
#include "support/TestEnvironment.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

class TestConversionRealOffice : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    UnoOfficeBridge m_office;

    static QString textOf(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<missing>");
    }

    struct Run {
        ScriptedDialogs dialogs;
        std::unique_ptr<SettingsStore> settings;
        std::unique_ptr<Form1> window;
    };

    std::unique_ptr<Run> startWindow(const QStringList &rows)
    {
        auto run = std::make_unique<Run>();
        run->settings = std::make_unique<SettingsStore>(m_dir.filePath(QStringLiteral("settings.ini")));
        run->window = std::make_unique<Form1>(run->dialogs, *run->settings, m_office);
        run->window->setHomePageDraw([] { return 1; });
        run->window->setProgramFolder(m_dir.filePath(QStringLiteral("program/")));
        run->window->setTerminator([] {});
        run->window->conversionRun().setWaitSeconds(0.05);
        if (!run->window->Form_Load())
            qFatal("the office suite cannot be reached");
        for (const QString &row : rows)
            run->window->ListView1->AppendRow(row);
        return run;
    }

private slots:
    void cleanupTestCase() { m_office.shutdown(); }

    void startUpEndsWhenTheOfficeCannotBeFound()
    {
        UnoOfficeOptions nowhere = UnoOfficeOptions::defaults();
        nowhere.officeSearchPath.clear();
        UnoOfficeBridge hidden(nowhere);
        ScriptedDialogs dialogs;
        SettingsStore settings(m_dir.filePath(QStringLiteral("hidden.ini")));
        Form1 window(dialogs, settings, hidden);
        window.setHomePageDraw([] { return 1; });
        window.setProgramFolder(m_dir.filePath(QStringLiteral("program/")));
        QVERIFY(!window.Form_Load());
        QVERIFY(!window.isVisible());
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].text, OfficeMissingText());
        QCOMPARE(dialogs.messages[0].buttons, Dialogs::Buttons::YesNo);
    }

    void threeDocumentsAndABrokenOne()
    {
        const QString in = m_dir.filePath(QStringLiteral("in dir #1"));
        QDir().mkpath(in);
        const QString first = in + "/first.odt", second = in + "/second part.sxw", third = in + "/Ünïcode 100%.odt",
                      broken = in + "/broken.odt";
        writeOdt(first, {"The first document."});
        writeSxw(second, {"An old", "OpenOffice document."});
        writeOdt(third, {"Привет, 世界 😀"});
        writeTruncatedOdt(broken);

        auto run = startWindow({first, broken, second, third});
        Form1 &w = *run->window;
        const QString out = m_dir.filePath(QStringLiteral("out")) + "/";
        QDir().mkpath(out);
        w.Text1->setText(out);
        run->dialogs.messages.clear();
        QTest::mouseClick(w.PushButton2, Qt::LeftButton);

        QVERIFY(textOf(out + "first.txt").contains("The first document."));
        QVERIFY(textOf(out + "second part.txt").contains("An old\nOpenOffice document.")
                || textOf(out + "second part.txt").contains("An old\r\nOpenOffice document."));
        QVERIFY(textOf(out + "Ünïcode 100%.txt").contains(QString("Привет, 世界 😀")));
        QVERIFY(!QFile::exists(out + "broken.txt"));

        QStringList lines;
        for (const QString &report : run->dialogs.errorReports())
            lines << report.section("at line ", 1).section('\r', 0, 0);
        QCOMPARE(lines.value(0), QString("146")); // the document does not load
        QVERIFY(!lines.contains("142"));
        QVERIFY(lines.contains("164"));
        QCOMPARE(run->dialogs.messages.last().text, QString("Done."));
        QCOMPARE(run->dialogs.messages.last().title, QString("Tarnwick"));

        // Beside the sources this time.
        run->dialogs.messages.clear();
        QTest::mouseClick(w.Option2, Qt::LeftButton);
        QTest::mouseClick(w.PushButton2, Qt::LeftButton);
        QVERIFY(textOf(in + "/first.txt").contains("The first document."));
        QVERIFY(textOf(in + "/Ünïcode 100%.txt").contains(QString("Привет, 世界 😀")));
        QVERIFY(QFile::exists(in + "/second part.txt"));
        QCOMPARE(run->dialogs.messages.last().text, QString("Done."));
    }

    void unwritableDestinationIsReportedAndNothingIsWritten()
    {
        const QString source = m_dir.filePath(QStringLiteral("readonly-source.odt"));
        writeOdt(source, {"Some text."});
        auto run = startWindow({source});
        // A folder that cannot be created: the parent is a plain file.
        const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
        QFile(blocker).open(QIODevice::WriteOnly);
        run->window->Text1->setText(blocker + "/");
        run->window->Option2->setChecked(false);
        run->window->Option1->setChecked(true);
        run->dialogs.messages.clear();
        QTest::mouseClick(run->window->PushButton2, Qt::LeftButton);
        // The folder text names no folder, so the run refuses to start.
        QCOMPARE(run->dialogs.messages.last().text, QString("Folder does not exist. Please select another folder."));

        // Beside a source where the text file's name is taken by a folder: the office
        // cannot write there, whoever runs the test.
        const QString beside = m_dir.filePath(QStringLiteral("beside"));
        QDir().mkpath(beside + "/doc.txt");
        writeOdt(beside + "/doc.odt", {"Cannot be saved."});
        writeOdt(beside + "/next.odt", {"The next one."});
        run->window->ListView1->Clear();
        run->window->ListView1->AppendRow(beside + "/doc.odt");
        run->window->ListView1->AppendRow(beside + "/next.odt");
        run->window->Option2->setChecked(true);
        run->dialogs.messages.clear();
        QTest::mouseClick(run->window->PushButton2, Qt::LeftButton);
        QCOMPARE(run->dialogs.errorReports().size(), 1);
        QVERIFY(run->dialogs.errorReports()[0].contains("at line 164"));
        QVERIFY(QFileInfo(beside + "/doc.txt").isDir());
        QVERIFY(textOf(beside + "/next.txt").contains("The next one."));
        QCOMPARE(run->dialogs.messages.last().text, QString("Done."));
    }
};

TARNWICK_TEST_MAIN(TestConversionRealOffice)
#include "test_conversion_real_office.moc"
