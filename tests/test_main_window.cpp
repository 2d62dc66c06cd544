#include "support/WindowFixture.h"
#include "support/TestEnvironment.h"
#include "convert/OfficeCheck.h"

#include <QAccessible>
#include <QHeaderView>
#include <QMouseEvent>

class TestMainWindow : public QObject {
    Q_OBJECT

    static QPoint rowCentre(FileListView *list, int row)
    {
        return list->visualItemRect(list->topLevelItem(row)).center();
    }

private slots:
    void controlsHaveTheirDesignNamesAndPlaces()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        QCOMPARE(w.size(), QSize(536, 445));
        QCOMPARE(w.windowTitle(), QString("Tarnwick"));
        QCOMPARE(w.applicationTitle(), QString("Tarnwick"));
        QVERIFY(!w.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(ListView1(w)->headerItem()->text(0), QString("ODT/OpenOffice Writer Files"));
        QCOMPARE(ListView1(w)->header()->sectionSize(0), 467);
        QCOMPARE(ListView1(w)->textElideMode(), Qt::ElideMiddle); // the file name stays in sight
        QCOMPARE(ListView1(w)->geometry(), QRect(8, 8, 520, 169));
        QCOMPARE(PushButton2(w)->text(), QString("Start Converting To TXT"));
        QCOMPARE(PushButton6(w)->geometry(), QRect(272, 183, 256, 27));
        QCOMPARE(Text1(w)->parentWidget(), Frame4(w));
        QCOMPARE(Frame4(w)->parentWidget(), Frame3(w));
        QCOMPARE(ProgressBar1(w)->format(), QString()); // idle: no placeholder
        QCOMPARE(ProgressBar1(w)->value(), 0);
        QVERIFY(ListView1(w)->toolTip().startsWith("Drag and drop files here."));
        QCOMPARE(PushButton3(w)->font().pointSizeF(), 11.25);
        QVERIFY(PushButton3(w)->font().bold());
        QVERIFY(!w.windowIcon().isNull());
        for (const char *name : {"ListView1", "PushButton2", "PushButton3", "PushButton4", "PushButton6",
                                 "PushButton8", "PushButton9", "Frame3", "Frame4", "Option1", "Option2",
                                 "Text1", "ProgressBar1"})
            QVERIFY2(w.findChild<QWidget *>(name), name);
    }

    void applicationTitleDropsTheLastWord()
    {
        WindowFixture fx;
        Form1 &w = fx.make();
        w.SetApplicationTitle("Tarnwick Writer To Text Converter");
        QCOMPARE(w.applicationTitle(), QString("Tarnwick Writer To Text"));
        w.SetApplicationTitle("Alpha Beta Gamma Delta Epsilon Zeta Eta Theta Iota Kappa");
        QCOMPARE(w.applicationTitle(), QString("Alpha Beta Gamma Delta Epsilon Zeta Eta"));
    }

    void firstStartRestoresDefaultsAndStoresThem()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        const QString desktop = QDir::homePath() + "/Desktop/";
        QCOMPARE(Text1(w)->text(), desktop);
        QVERIFY(Option1(w)->isChecked());
        QVERIFY(!Option2(w)->isChecked());
        QVERIFY(Frame4(w)->isEnabled());
        QCOMPARE(fx.settings.GetSetting("Text1", "none"), desktop);
        QCOMPARE(fx.settings.GetSetting("Option1", "none"), QString("True"));
        QCOMPARE(fx.settings.GetSetting("Option2", "none"), QString("False"));
        QVERIFY(fx.dialogs.messages.isEmpty());
    }

    void storedOptionsAreRestored_data()
    {
        QTest::addColumn<QString>("option1");
        QTest::addColumn<QString>("option2");
        QTest::addColumn<bool>("checked1");
        QTest::addColumn<bool>("checked2");
        QTest::newRow("second chosen") << "False" << "True" << false << true;
        QTest::newRow("neither") << "False" << "False" << false << false;
        QTest::newRow("numbers") << "0" << "-1" << false << true;
        QTest::newRow("lower case") << "true" << "false" << true << false;
    }
    void storedOptionsAreRestored()
    {
        QFETCH(QString, option1);
        QFETCH(QString, option2);
        QFETCH(bool, checked1);
        QFETCH(bool, checked2);
        WindowFixture fx;
        fx.settings.SaveSetting("Option1", option1);
        fx.settings.SaveSetting("Option2", option2);
        fx.settings.SaveSetting("Text1", "/kept/");
        Form1 &w = fx.loaded();
        QCOMPARE(Option1(w)->isChecked(), checked1);
        QCOMPARE(Option2(w)->isChecked(), checked2);
        QCOMPARE(Frame4(w)->isEnabled(), checked1);
        QCOMPARE(Text1(w)->text(), QString("/kept/"));
        QVERIFY(fx.dialogs.messages.isEmpty());
    }

    void storedOptionThatIsNoYesNoIsReported()
    {
        WindowFixture fx;
        fx.settings.SaveSetting("Option1", "maybe");
        Form1 &w = fx.loaded();
        const QStringList reports = fx.dialogs.errorReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].startsWith("Type mismatch\r\nin Pellmark2021/08/31.Form1.Form_Load at line 138\r\r"));
        QVERIFY(Option1(w)->isChecked()); // design state
        QVERIFY(Frame4(w)->isEnabled());
    }

    void missingOfficeEndsStartUpWithItsMessage()
    {
        WindowFixture fx;
        fx.office.unreachable = true;
        fx.dialogs.answers.enqueue(Dialogs::Answer::Yes);
        bool loaded = true;
        const QByteArray reason = standardErrorOf([&] { loaded = fx.make().Form_Load(); });
        QVERIFY(!loaded);
        QCOMPARE(reason, QByteArray("tarnwick: the office cannot be reached: The office cannot be started.\n"));
        QCOMPARE(fx.dialogs.messages.size(), 1);
        const auto &shown = fx.dialogs.messages[0];
        QCOMPARE(shown.text, OfficeMissingText());
        QVERIFY(shown.text.startsWith("Error 214878392\r\n\r\nOpenOffice is required to run this software. "
                                      "It is not installed on this computer.\r\rWoud you like"));
        QVERIFY(shown.text.endsWith("'About' window to support@brantwell.example)"));
        QCOMPARE(shown.title, QString("Tarnwick"));
        QCOMPARE(shown.buttons, Dialogs::Buttons::YesNo);
        QCOMPARE(shown.icon, Dialogs::Icon::None);
        QCOMPARE(fx.dialogs.openedUrls, QStringList{"https://www.libreoffice.org/download/download/"});

        WindowFixture declined;
        declined.office.unreachable = true;
        QVERIFY(!declined.make().Form_Load());
        QVERIFY(declined.dialogs.openedUrls.isEmpty());
    }

    void destinationChangesAreStoredAtOnce()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        QTest::mouseClick(Option2(w), Qt::LeftButton);
        QVERIFY(Option2(w)->isChecked());
        QVERIFY(!Frame4(w)->isEnabled());
        QCOMPARE(fx.settings.GetSetting("Option1", ""), QString("False"));
        QCOMPARE(fx.settings.GetSetting("Option2", ""), QString("True"));
        QTest::mouseClick(Option1(w), Qt::LeftButton);
        QVERIFY(Frame4(w)->isEnabled());
        QCOMPARE(fx.settings.GetSetting("Option1", ""), QString("True"));

        Text1(w)->clear();
        QTest::keyClicks(Text1(w), "/ou");
        QCOMPARE(fx.settings.GetSetting("Text1", ""), QString("/ou"));
    }

    void browsingForTheDestination()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        const QString before = Text1(w)->text();
        QTest::mouseClick(PushButton4(w), Qt::LeftButton); // cancelled
        QCOMPARE(Text1(w)->text(), before);
        QCOMPARE(fx.settings.GetSetting("LastFolderDot", "unset"), QString("unset"));
        QCOMPARE(fx.dialogs.folderRequests.value(0), (QStringList{"Please select folder:", ""}));

        const QString reports = fx.dir.filePath("Reports");
        QDir().mkpath(reports);
        fx.dialogs.folders.enqueue(reports);
        QTest::mouseClick(PushButton4(w), Qt::LeftButton);
        QCOMPARE(Text1(w)->text(), reports + "/");
        QCOMPARE(fx.settings.GetSetting("LastFolderDot", ""), reports);
        QCOMPARE(fx.settings.GetSetting("Text1", ""), reports + "/");

        fx.dialogs.folders.enqueue("/");
        QTest::mouseClick(PushButton4(w), Qt::LeftButton);
        QCOMPARE(Text1(w)->text(), QString("/"));
        QCOMPARE(fx.dialogs.folderRequests.value(2).value(1), reports); // opens at the last choice
    }

    void addingByDialog()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        QTest::mouseClick(PushButton3(w), Qt::LeftButton); // cancelled
        QCOMPARE(ListView1(w)->Count(), 0);
        QCOMPARE(fx.dialogs.fileRequests.value(0),
                 (QStringList{"Add File(s) - Hold Ctrl to select multiple files",
                              "Writer Documents (*.odt;*.ott;*.sxw;*.stw) (*.odt *.ott *.sxw *.stw)",
                              "All Files (*.*) (*)"}));

        fx.dialogs.files.enqueue({"/docs//one.odt"});
        QTest::mouseClick(PushButton3(w), Qt::LeftButton);
        fx.dialogs.files.enqueue({"/docs//a.odt", "/docs/b.sxw", "//docs/c.txt"});
        QTest::mouseClick(PushButton3(w), Qt::LeftButton);
        fx.dialogs.files.enqueue({"/docs//one.odt"});
        QTest::mouseClick(PushButton3(w), Qt::LeftButton);
        QCOMPARE(ListView1(w)->Rows(), (QStringList{"/docs//one.odt", "/docs/a.odt", "/docs/b.sxw",
                                                   "/docs/c.txt", "/docs//one.odt"}));
        QVERIFY(fx.dialogs.messages.isEmpty());
    }

    void removingRows()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        FileListView *list = ListView1(w);
        QTest::keyClick(list, Qt::Key_Delete); // empty list: nothing happens
        for (const char *p : {"/a.odt", "/b.odt", "/c.odt", "/d.odt"})
            list->AppendRow(p);
        list->setCurrentItem(list->topLevelItem(1));
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(list->Rows(), (QStringList{"/a.odt", "/c.odt", "/d.odt"}));
        QTest::keyClick(list, Qt::Key_Backspace);
        QTest::keyClick(list, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(list->Count(), 3);

        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 2));
        QCOMPARE(list->Rows(), (QStringList{"/a.odt", "/c.odt"}));

        w.setBusy(true);
        list->setCurrentItem(list->topLevelItem(0));
        QTest::keyClick(list, Qt::Key_Delete);
        list->ListView1_DblClick();
        QTest::mouseClick(PushButton8(w), Qt::LeftButton);
        QCOMPARE(list->Count(), 2);
        w.setBusy(false);
        QTest::mouseClick(PushButton8(w), Qt::LeftButton);
        QCOMPARE(list->Count(), 0);
    }

    // What a screen reader reads of the controls, through Qt's accessibility interfaces,
    // also while a run names the file at hand; Return and Enter press a focused button.
    void controlsAreNamedForAssistiveTechnologiesAndKeys()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        const auto read = [](QWidget *control, QAccessible::Text text = QAccessible::Name) {
            return QAccessible::queryAccessibleInterface(control)->text(text);
        };
        QCOMPARE(read(ListView1(w)), QString("ODT/OpenOffice Writer Files"));
        QCOMPARE(read(ListView1(w), QAccessible::Description), ListView1(w)->toolTip());
        QVERIFY(!read(ListView1(w), QAccessible::Description).contains("reveal full names")); // names are elided
        QCOMPARE(read(Text1(w)), QString("Save results to this folder:"));
        QCOMPARE(read(PushButton4(w)), QString("Browse for the output folder"));
        QVERIFY(!read(ProgressBar1(w)).isEmpty());
        QString during;
        fx.office.duringLoad = [&] { during = read(ProgressBar1(w), QAccessible::Description); };
        Option2(w)->setChecked(true);
        ListView1(w)->AppendRow(fx.file("one.odt"));
        QTest::keyClick(PushButton2(w), Qt::Key_Return);
        QCOMPARE(during, QString("Processing: one.odt"));
        QCOMPARE(read(ProgressBar1(w), QAccessible::Description), QString());
        QTest::keyClick(PushButton8(w), Qt::Key_Enter);
        QCOMPARE(ListView1(w)->Count(), 0);
    }

    // Documents another start hands over come into sight, selected, below a list
    // longer than the view.
    void handedOverRowsComeIntoView()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        w.show();
        FileListView *list = ListView1(w);
        for (int i = 0; i < 12; ++i)
            list->AppendRow(QStringLiteral("/docs/%1.odt").arg(i));
        w.takeHandedOverPaths({fx.file("new one.odt"), fx.file("new two.odt")});
        QCOMPARE(list->Count(), 14);
        for (int row : {12, 13}) {
            QVERIFY(list->topLevelItem(row)->isSelected());
            QVERIFY(list->viewport()->rect().contains(list->visualItemRect(list->topLevelItem(row))));
        }
        QCOMPARE(list->selectedItems().size(), 2);
    }

    void draggingARowExchangesPaths()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        w.show();
        FileListView *list = ListView1(w);
        for (const char *p : {"/a.odt", "/b.odt", "/b.odt", "/c.odt", "/d.odt"})
            list->AppendRow(p);

        // A real press on row 0, then moves over rows 1 and 3 with the button held.
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 0));
        auto moveTo = [&](int row) {
            const QPoint pos = rowCentre(list, row);
            QMouseEvent move(QEvent::MouseMove, pos, list->viewport()->mapToGlobal(pos), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(list->viewport(), &move);
        };
        moveTo(1);
        QCOMPARE(list->Rows(), (QStringList{"/b.odt", "/a.odt", "/b.odt", "/c.odt", "/d.odt"}));
        moveTo(3); // skips row 2, which keeps its place
        QCOMPARE(list->Rows(), (QStringList{"/b.odt", "/c.odt", "/b.odt", "/a.odt", "/d.odt"}));
        QCOMPARE(list->currentItem()->text(0), QString("/a.odt"));
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 3));
        QVERIFY(!list->listMouseDown());

        // Moving with no button down changes nothing.
        moveTo(0);
        QCOMPARE(list->Rows(), (QStringList{"/b.odt", "/c.odt", "/b.odt", "/a.odt", "/d.odt"}));

        // Rows with the same text never exchange.
        list->ListView1_MouseDown();
        list->ListView1_ItemClick(list->topLevelItem(0));
        list->ListView1_MouseMove(rowCentre(list, 2), QPointF(0, 330));
        QCOMPARE(list->Rows(), (QStringList{"/b.odt", "/c.odt", "/b.odt", "/a.odt", "/d.odt"}));

        // A dragged row that has been removed moves nothing.
        delete list->takeTopLevelItem(0);
        list->ListView1_MouseMove(rowCentre(list, 1), QPointF(0, 330));
        QCOMPARE(list->Rows(), (QStringList{"/c.odt", "/b.odt", "/a.odt", "/d.odt"}));
        list->Clear();
        list->ListView1_MouseMove(QPoint(5, 5), QPointF(0, 100));
        QCOMPARE(list->Count(), 0);
    }

    void pointerRules()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        QPixmap hand(16, 16);
        hand.fill(Qt::red);
        w.setHandPointer(QCursor(hand));
        w.show();
        hover(PushButton2(w));
        QCOMPARE(w.cursor().shape(), Qt::BitmapCursor);
        hover(Frame3(w));
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
        hover(PushButton8(w));
        hover(Text1(w));
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);

        w.setBusy(true);
        for (QWidget *over : std::initializer_list<QWidget *>{PushButton3(w), Frame4(w), &w, ListView1(w)->viewport()})
            hover(over);
        QCOMPARE(w.cursor().shape(), Qt::WaitCursor);
        w.setBusy(false);

        w.setHandPointer(std::nullopt);
        hover(PushButton6(w));
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    }
};

TARNWICK_TEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
