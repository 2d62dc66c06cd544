#include "support/WindowFixture.h"
#include "convert/TargetName.h"
#include "support/TestEnvironment.h"


class TestConversionRun : public QObject {
    Q_OBJECT

private slots:
    void targetNames_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("destination");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("target");
        const int chosen = int(Destination::ChosenFolder), beside = int(Destination::SourceFolder),
                  neither = int(Destination::Neither);
        QTest::newRow("dots in name, beside") << "/docs/report.final.odt" << beside << "" << "/docs/report.final.txt";
        QTest::newRow("chosen folder") << "/docs/report.final.odt" << chosen << "/out" << "/out/report.final.txt";
        QTest::newRow("chosen folder with separator") << "/docs/report.final.odt" << chosen << "/out/" << "/out/report.final.txt";
        QTest::newRow("dotted folder") << "/old.files/notes.odt" << beside << "" << "/old.files/notes.txt";
        QTest::newRow("dotted folder, chosen") << "/old.files/notes.odt" << chosen << "/out" << "/out/notes.txt";
        QTest::newRow("no extension, dotted folder") << "/old.files/notes" << beside << "" << "/old.files/notes.txt";
        QTest::newRow("no dot at all") << "/docs/notes" << beside << "" << "/docs/notes.txt";
        QTest::newRow("hidden name") << "/docs/.profile" << beside << "" << "/docs/.profile.txt";
        QTest::newRow("trailing dot") << "/docs/notes." << beside << "" << "/docs/notes.txt";
        QTest::newRow("neither option") << "/docs/report.final.odt" << neither << "/out" << "/docs/report.final.txt";
        QTest::newRow("doubled separators") << "/docs//a.odt" << chosen << "/out//x/" << "/out/x/a.txt";
        QTest::newRow("root folder") << "/docs/a.odt" << chosen << "/" << "/a.txt";
    }
    void targetNames()
    {
        QFETCH(QString, source);
        QFETCH(int, destination);
        QFETCH(QString, folder);
        QFETCH(QString, target);
        QCOMPARE(TargetPathOf(source, Destination(destination), folder), target);
    }

    void emptyListAndMissingFolderConvertNothing()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        QTest::mouseClick(PushButton2(w), Qt::LeftButton);
        QCOMPARE(fx.dialogs.messages.size(), 1);
        QCOMPARE(fx.dialogs.messages[0].text, QString("No files added."));
        QCOMPARE(fx.dialogs.messages[0].title, QString("Tarnwick"));
        QCOMPARE(fx.dialogs.messages[0].icon, Dialogs::Icon::None);
        QCOMPARE(ProgressBar1(w)->text(), QString());

        ListView1(w)->AppendRow(fx.file("a.odt"));
        for (const QString &folder : {QString(), fx.file("plain-file"), fx.dir.filePath("missing")}) {
            Text1(w)->setText(folder);
            QTest::mouseClick(PushButton2(w), Qt::LeftButton);
            QCOMPARE(fx.dialogs.messages.last().text, QString("Folder does not exist. Please select another folder."));
        }
        QCOMPARE(fx.office.loaded.size(), 0);
        QVERIFY(!w.IsConverting());

        // Beside the sources, the folder text does not matter.
        Option2(w)->setChecked(true);
        QTest::mouseClick(PushButton2(w), Qt::LeftButton);
        QCOMPARE(fx.dialogs.messages.last().text, QString("Done."));
        QCOMPARE(readBytes(fx.dir.filePath("a.txt")), QByteArray("text of ") + fx.dir.filePath("a.odt").toUtf8());
    }

    // An account without a desktop folder: the first Start writes into the home folder.
    void firstRunWithoutDesktopFolderConverts()
    {
        const QString home = QDir::homePath();
        QVERIFY(QDir(home).rename("Desktop", "Desktop.away"));
        WindowFixture fx;
        Form1 &w = fx.loaded();
        const QString source = fx.file("first.odt");
        ListView1(w)->AppendRow(source);
        QTest::mouseClick(PushButton2(w), Qt::LeftButton);
        const QByteArray written = readBytes(home + "/first.txt");
        QVERIFY(QFile::remove(home + "/first.txt") && QDir(home).rename("Desktop.away", "Desktop"));
        QCOMPARE(Text1(w)->text(), home + "/");
        QCOMPARE(fx.dialogs.messages.last().text, QString("Done."));
        QCOMPARE(written, "text of " + source.toUtf8());
    }

    void runConvertsEveryRowInOrderWithProgress()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        const QString out = fx.dir.filePath("out") + "/";
        QDir().mkpath(out);
        Text1(w)->setText(out);
        const QStringList sources = {fx.file("in/one.odt"), fx.file("in/two files.sxw"), fx.file("in/#3%20.ott")};
        for (const QString &s : sources)
            ListView1(w)->AppendRow(s);

        QList<double> progress;
        QStringList captions;
        QList<bool> busy;
        fx.office.duringLoad = [&] {
            progress << w.progressValue();
            captions << ProgressBar1(w)->text();
            busy << (w.isBusy() && w.cursor().shape() == Qt::WaitCursor);
        };
        QTest::mouseClick(PushButton2(w), Qt::LeftButton);

        QCOMPARE(progress.size(), 3);
        QVERIFY(qFuzzyCompare(progress[0], 100.0 / 3));
        QVERIFY(qFuzzyCompare(progress[1], 200.0 / 3));
        QCOMPARE(progress[2], 100.0);
        QCOMPARE(captions, (QStringList{"Processing: one.odt", "Processing: two files.sxw", "Processing: #3%20.ott"}));
        QCOMPARE(busy, (QList<bool>{true, true, true}));
        QCOMPARE(w.progressValue(), 0.0);
        QCOMPARE(ProgressBar1(w)->text(), QString());
        QVERIFY(!w.isBusy());
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(fx.dialogs.messages.size(), 1);
        QCOMPARE(fx.dialogs.messages[0].text, QString("Done."));

        QCOMPARE(readBytes(out + "one.txt"), "text of " + sources[0].toUtf8());
        QCOMPARE(readBytes(out + "two files.txt"), "text of " + sources[1].toUtf8());
        QCOMPARE(readBytes(out + "#3%20.txt"), "text of " + sources[2].toUtf8());
        QCOMPARE(fx.office.loaded, sources);
        QCOMPARE(fx.office.saved.size(), 3);
        // Each save went into a file of its own beside the target, which became it.
        QCOMPARE(QFileInfo(fx.office.saved[1].target).absolutePath() + "/", out);
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList({"#3%20.txt", "one.txt", "two files.txt"}));
        QCOMPARE(fx.office.saved[1].filter, QString("Text"));
        QCOMPARE(fx.office.closed, 3);

        // Beside the sources this time; the list is unchanged by a run.
        QTest::mouseClick(Option2(w), Qt::LeftButton);
        QTest::mouseClick(PushButton2(w), Qt::LeftButton);
        QCOMPARE(readBytes(fx.dir.filePath("in/one.txt")), "text of " + sources[0].toUtf8());
        QCOMPARE(ListView1(w)->Rows(), sources);
    }

    void failingDocumentIsReportedAndTheOthersConvert()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        Option2(w)->setChecked(true);
        const QString good1 = fx.file("a.odt"), bad = fx.file("broken.odt"), good2 = fx.file("c.odt");
        fx.office.failingSources.insert(bad);
        for (const QString &s : {good1, bad, good2})
            ListView1(w)->AppendRow(s);
        QTest::mouseClick(PushButton2(w), Qt::LeftButton);

        QStringList lines;
        for (const QString &report : fx.dialogs.errorReports()) {
            QVERIFY(report.contains("\r\nin Pellmark2021/08/31.Form1.PushButton2_Click at line "));
            lines << report.section("at line ", 1).section('\r', 0, 0);
        }
        // No document: the steps that need it fail too, and nothing is saved for it.
        QCOMPARE(lines, (QStringList{"146", "150", "152", "164", "172"}));
        QVERIFY(fx.dialogs.errorReports().first().startsWith("Unsupported URL"));
        for (const QString &report : fx.dialogs.errorReports().mid(1))
            QVERIFY2(report.startsWith("The load of " + bad + " failed: "), qPrintable(report));
        QCOMPARE(fx.dialogs.messages.last().text, QString("Done."));
        QVERIFY(QFile::exists(fx.dir.filePath("a.txt")));
        QVERIFY(!QFile::exists(fx.dir.filePath("broken.txt")));
        QCOMPARE(readBytes(fx.dir.filePath("c.txt")), "text of " + good2.toUtf8());
        QCOMPARE(fx.office.saved.size(), 2);
    }

    void everyFileFailingStillEndsWithDone()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        fx.office.unreachable = true;
        ListView1(w)->AppendRow(fx.file("a.odt"));
        ListView1(w)->AppendRow(fx.file("b.odt"));
        QTest::mouseClick(PushButton2(w), Qt::LeftButton);
        QCOMPARE(fx.dialogs.messages.last().text, QString("Done."));
        QVERIFY(fx.dialogs.errorReports().size() >= 2);
        QVERIFY(!w.IsConverting());
        QVERIFY(!w.isBusy());
    }

    void sourceIsNeverOverwritten()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        Option2(w)->setChecked(true);
        const QString source = fx.file("notes.txt", "my own notes");
        ListView1(w)->AppendRow(source);
        QTest::mouseClick(PushButton2(w), Qt::LeftButton);
        const QStringList reports = fx.dialogs.errorReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].contains("at line 164"));
        QVERIFY(reports[0].contains("would replace the document itself"));
        QCOMPARE(readBytes(source), QByteArray("my own notes"));
        QCOMPARE(fx.office.saved.size(), 0);
        QCOMPARE(fx.office.closed, 1); // the document is still closed
    }

    void windowStaysAliveDuringARun()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        Option2(w)->setChecked(true);
        const QStringList sources = {fx.file("a.odt"), fx.file("b.odt")};
        for (const QString &s : sources)
            ListView1(w)->AppendRow(s);
        int loads = 0;
        fx.office.duringLoad = [&] {
            if (++loads != 1)
                return;
            // A second Start is refused; removal is refused while busy; appending works.
            QTest::mouseClick(PushButton2(w), Qt::LeftButton);
            QTest::mouseClick(PushButton8(w), Qt::LeftButton);
            ListView1(w)->setCurrentItem(ListView1(w)->topLevelItem(0));
            QTest::keyClick(ListView1(w), Qt::Key_Delete);
            ListView1(w)->AppendRow(fx.file("late.odt"));
            hover(PushButton3(w));
            QCOMPARE(w.cursor().shape(), Qt::WaitCursor);
        };
        QTest::mouseClick(PushButton2(w), Qt::LeftButton);
        QCOMPARE(loads, 2); // the row count was read once, at the start
        QCOMPARE(ListView1(w)->Count(), 3);
        QCOMPARE(fx.dialogs.messages.size(), 1);
        QCOMPARE(fx.dialogs.messages[0].text, QString("Done."));
    }

    void removedRowsEndTheLoop()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        Option2(w)->setChecked(true);
        for (const char *name : {"a.odt", "b.odt", "c.odt"})
            ListView1(w)->AppendRow(fx.file(name));
        fx.office.duringLoad = [&] {
            if (ListView1(w)->Count() == 3) {
                w.setBusy(false); // let the list be cleared as if between files
                ListView1(w)->Clear();
            }
        };
        QTest::mouseClick(PushButton2(w), Qt::LeftButton);
        QCOMPARE(fx.office.loaded.size(), 1); // the first file is never converted again
        QCOMPARE(fx.dialogs.errorReports().size(), 1);
        QVERIFY(fx.dialogs.errorReports()[0].contains("at line 110"));
        QCOMPARE(fx.dialogs.messages.last().text, QString("Done."));
    }

    void closingTheWindowMidRunEndsTheProgram()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        Option2(w)->setChecked(true);
        ListView1(w)->AppendRow(fx.file("a.odt"));
        bool convertingWhenClosed = false;
        fx.office.duringLoad = [&] {
            w.close();
            convertingWhenClosed = w.IsConverting() && fx.terminations == 1;
        };
        w.PushButton2_Click();
        QVERIFY(convertingWhenClosed);
    }

    void closingTheWindowDuringASaveLeavesNoPartialFile()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        Option2(w)->setChecked(true);
        ListView1(w)->AppendRow(fx.file("docs/a.odt"));
        const auto partialFiles = [&] {
            return QDir(fx.dir.filePath("docs")).entryList({".tarnwick-*"}, QDir::Files | QDir::Hidden);
        };
        QStringList whileSaving, whenEnding{"not ended"};
        int shutdownsWhenEnding = 0;
        w.setTerminator([&] {
            whenEnding = partialFiles();
            shutdownsWhenEnding = fx.office.shutdowns;
        });
        fx.office.duringSave = [&] {
            whileSaving = partialFiles();
            w.close();
        };
        w.PushButton2_Click();
        QCOMPARE(whileSaving.size(), 1);
        QCOMPARE(whenEnding, QStringList());
        QCOMPARE(shutdownsWhenEnding, 1);
    }
};

TARNWICK_TEST_MAIN(TestConversionRun)
#include "test_conversion_run.moc"
