#include "WindowFixture.h"
#include "convert/TargetName.h"
#include "support/TestEnvironment.h"

#include <QMouseEvent>

class TestConversionRun : public QObject {
    Q_OBJECT

    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

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
        QTest::mouseClick(w.PushButton2, Qt::LeftButton);
        QCOMPARE(fx.dialogs.messages.size(), 1);
        QCOMPARE(fx.dialogs.messages[0].text, QString("No files added."));
        QCOMPARE(fx.dialogs.messages[0].title, QString("Tarnwick"));
        QCOMPARE(fx.dialogs.messages[0].icon, Dialogs::Icon::None);
        QCOMPARE(w.progressCaption(), QString("Progress Bar"));

        w.ListView1->AppendRow(fx.file("a.odt"));
        for (const QString &folder : {QString(), fx.file("plain-file"), fx.dir.filePath("missing")}) {
            w.Text1->setText(folder);
            QTest::mouseClick(w.PushButton2, Qt::LeftButton);
            QCOMPARE(fx.dialogs.messages.last().text, QString("Folder does not exist. Please select another folder."));
        }
        QCOMPARE(fx.office.count("load"), 0);
        QVERIFY(!w.IsConverting());

        // Beside the sources, the folder text does not matter.
        w.Option2->setChecked(true);
        QTest::mouseClick(w.PushButton2, Qt::LeftButton);
        QCOMPARE(fx.dialogs.messages.last().text, QString("Done."));
        QCOMPARE(read(fx.dir.filePath("a.txt")), QByteArray("text of ") + fx.dir.filePath("a.odt").toUtf8());
    }

    void runConvertsEveryRowInOrderWithProgress()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        const QString out = fx.dir.filePath("out") + "/";
        QDir().mkpath(out);
        w.Text1->setText(out);
        const QStringList sources = {fx.file("in/one.odt"), fx.file("in/two files.sxw"), fx.file("in/#3%20.ott")};
        for (const QString &s : sources)
            w.ListView1->AppendRow(s);

        QList<double> progress;
        QStringList captions;
        QList<bool> busy;
        fx.office.duringLoad = [&] {
            progress << w.progressValue();
            captions << w.progressCaption();
            busy << (w.isBusy() && w.cursor().shape() == Qt::WaitCursor);
        };
        fx.office.calls.clear(); // start-up's office check
        QTest::mouseClick(w.PushButton2, Qt::LeftButton);

        QCOMPARE(progress.size(), 3);
        QVERIFY(qFuzzyCompare(progress[0], 100.0 / 3));
        QVERIFY(qFuzzyCompare(progress[1], 200.0 / 3));
        QCOMPARE(progress[2], 100.0);
        QCOMPARE(captions, (QStringList{"Processing: one.odt", "Processing: two files.sxw", "Processing: #3%20.ott"}));
        QCOMPARE(busy, (QList<bool>{true, true, true}));
        QCOMPARE(w.progressValue(), 0.0);
        QCOMPARE(w.progressCaption(), QString("Progress Bar"));
        QVERIFY(!w.isBusy());
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(fx.dialogs.messages.size(), 1);
        QCOMPARE(fx.dialogs.messages[0].text, QString("Done."));

        QCOMPARE(read(out + "one.txt"), "text of " + sources[0].toUtf8());
        QCOMPARE(read(out + "two files.txt"), "text of " + sources[1].toUtf8());
        QCOMPARE(read(out + "#3%20.txt"), "text of " + sources[2].toUtf8());
        // Three service managers per file: one for the run, one for each property value.
        QCOMPARE(fx.office.count("serviceManager"), 9);
        QVERIFY(fx.office.calls.contains("dispatch .uno:SaveAs [] 0 URL=" + QUrl::fromLocalFile(out + "two files.txt").toString(QUrl::FullyEncoded)
                                         + " FilterName=Text"));
        QCOMPARE(fx.office.count("close true"), 3);
        QVERIFY(fx.office.calls.contains("load " + QUrl::fromLocalFile(sources[2]).toString(QUrl::FullyEncoded) + " _blank 0"));

        // Beside the sources this time; the list is unchanged by a run.
        QTest::mouseClick(w.Option2, Qt::LeftButton);
        QTest::mouseClick(w.PushButton2, Qt::LeftButton);
        QCOMPARE(read(fx.dir.filePath("in/one.txt")), "text of " + sources[0].toUtf8());
        QCOMPARE(w.ListView1->Rows(), sources);
    }

    void failingDocumentIsReportedAndTheOthersConvert()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        w.Option2->setChecked(true);
        const QString good1 = fx.file("a.odt"), bad = fx.file("broken.odt"), good2 = fx.file("c.odt");
        fx.office.failingSources.insert(bad);
        for (const QString &s : {good1, bad, good2})
            w.ListView1->AppendRow(s);
        QTest::mouseClick(w.PushButton2, Qt::LeftButton);

        QStringList lines;
        for (const QString &report : fx.dialogs.errorReports()) {
            QVERIFY(report.contains("\r\nin Pellmark2021/08/31.Form1.PushButton2_Click at line "));
            lines << report.section("at line ", 1).section('\r', 0, 0);
        }
        // No document: the steps that need it fail too, and nothing is saved for it.
        QCOMPARE(lines, (QStringList{"146", "150", "152", "164", "172"}));
        QVERIFY(fx.dialogs.errorReports().first().startsWith("Unsupported URL"));
        QCOMPARE(fx.dialogs.messages.last().text, QString("Done."));
        QVERIFY(QFile::exists(fx.dir.filePath("a.txt")));
        QVERIFY(!QFile::exists(fx.dir.filePath("broken.txt")));
        QCOMPARE(read(fx.dir.filePath("c.txt")), "text of " + good2.toUtf8());
        QCOMPARE(fx.office.count("dispatch"), 2);
    }

    void everyFileFailingStillEndsWithDone()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        fx.office.unreachable = true;
        w.ListView1->AppendRow(fx.file("a.odt"));
        w.ListView1->AppendRow(fx.file("b.odt"));
        QTest::mouseClick(w.PushButton2, Qt::LeftButton);
        QCOMPARE(fx.dialogs.messages.last().text, QString("Done."));
        QVERIFY(fx.dialogs.errorReports().size() >= 2);
        QVERIFY(!w.IsConverting());
        QVERIFY(!w.isBusy());
    }

    void sourceIsNeverOverwritten()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        w.Option2->setChecked(true);
        const QString source = fx.file("notes.txt", "my own notes");
        w.ListView1->AppendRow(source);
        QTest::mouseClick(w.PushButton2, Qt::LeftButton);
        const QStringList reports = fx.dialogs.errorReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].contains("at line 164"));
        QVERIFY(reports[0].contains("would replace the document itself"));
        QCOMPARE(read(source), QByteArray("my own notes"));
        QCOMPARE(fx.office.count("dispatch"), 0);
        QCOMPARE(fx.office.count("close"), 1); // the document is still closed
    }

    void windowStaysAliveDuringARun()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        w.Option2->setChecked(true);
        const QStringList sources = {fx.file("a.odt"), fx.file("b.odt")};
        for (const QString &s : sources)
            w.ListView1->AppendRow(s);
        int loads = 0;
        fx.office.duringLoad = [&] {
            if (++loads != 1)
                return;
            // A second Start is refused; removal is refused while busy; appending works.
            QTest::mouseClick(w.PushButton2, Qt::LeftButton);
            QTest::mouseClick(w.PushButton8, Qt::LeftButton);
            w.ListView1->setCurrentItem(w.ListView1->topLevelItem(0));
            QTest::keyClick(w.ListView1, Qt::Key_Delete);
            w.ListView1->AppendRow(fx.file("late.odt"));
            const QPoint pos(3, 3);
            QMouseEvent move(QEvent::MouseMove, pos, w.PushButton3->mapToGlobal(pos), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(w.PushButton3, &move);
            QCOMPARE(w.cursor().shape(), Qt::WaitCursor);
        };
        QTest::mouseClick(w.PushButton2, Qt::LeftButton);
        QCOMPARE(loads, 2); // the row count was read once, at the start
        QCOMPARE(w.ListView1->Count(), 3);
        QCOMPARE(fx.dialogs.messages.size(), 1);
        QCOMPARE(fx.dialogs.messages[0].text, QString("Done."));
    }

    void removedRowsEndTheLoop()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        w.Option2->setChecked(true);
        for (const char *name : {"a.odt", "b.odt", "c.odt"})
            w.ListView1->AppendRow(fx.file(name));
        fx.office.duringLoad = [&] {
            if (w.ListView1->Count() == 3) {
                w.setBusy(false); // let the list be cleared as if between files
                w.ListView1->Clear();
            }
        };
        QTest::mouseClick(w.PushButton2, Qt::LeftButton);
        QCOMPARE(fx.office.count("load"), 1); // the first file is never converted again
        QCOMPARE(fx.dialogs.errorReports().size(), 1);
        QVERIFY(fx.dialogs.errorReports()[0].contains("at line 110"));
        QCOMPARE(fx.dialogs.messages.last().text, QString("Done."));
    }

    void closingTheWindowMidRunEndsTheProgram()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        w.Option2->setChecked(true);
        w.ListView1->AppendRow(fx.file("a.odt"));
        bool convertingWhenClosed = false;
        fx.office.duringLoad = [&] {
            w.close();
            convertingWhenClosed = w.IsConverting() && fx.terminations == 1;
        };
        w.PushButton2_Click();
        QVERIFY(convertingWhenClosed);
    }
};

TARNWICK_TEST_MAIN(TestConversionRun)
#include "test_conversion_run.moc"
