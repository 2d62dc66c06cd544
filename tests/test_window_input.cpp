// Filling the list through the window itself: the whole-folder button, drops from a
// file manager and the sample files.
#include "support/WindowFixture.h"
#include "input/SampleFiles.h"
#include "support/TestEnvironment.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QUrl>

class TestWindowInput : public QObject {
    Q_OBJECT

    static bool dragAccepted(FileListView *list, QMimeData *data)
    {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &enter);
        return enter.isAccepted();
    }

    static void drop(FileListView *list, QMimeData *data)
    {
        QDropEvent dropEvent(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &dropEvent);
    }

private slots:
    void dropOfFilesAndTwoFolders()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        const QString loose = fx.file("loose.odt");
        const QString a1 = fx.file("A/one.odt"), a2 = fx.file("A/sub/two.txt");
        fx.file("A/.hidden.odt");
        fx.file("A/~lock.odt");
        const QString b1 = fx.file("B/three.sxw");

        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(fx.dir.filePath("B")), QUrl::fromLocalFile(loose),
                       QUrl::fromLocalFile(fx.dir.filePath("A"))});
        QVERIFY(dragAccepted(ListView1(w), &files));
        drop(ListView1(w), &files);
        QCOMPARE(ListView1(w)->Rows(), (QStringList{b1, loose, a1, a2}));

        QMimeData text;
        text.setText(loose);
        QVERIFY(!dragAccepted(ListView1(w), &text));
        drop(ListView1(w), &text);
        QMimeData web;
        web.setUrls({QUrl("https://example.org/a.odt")});
        QVERIFY(!dragAccepted(ListView1(w), &web));
        QCOMPARE(ListView1(w)->Count(), 4);
        QVERIFY(fx.dialogs.messages.isEmpty());
    }

    void addAllFilesOfAFolder()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        const QString top = fx.file("Tree/a.odt"), upper = fx.file("Tree/Deep/B.ODT");
        fx.file("Tree/notes.txt");
        fx.dialogs.inputs.enqueue(QStringLiteral("odt"));
        fx.dialogs.folders.enqueue(fx.dir.filePath("Tree"));
        QTest::mouseClick(PushButton6(w), Qt::LeftButton);
        QCOMPARE(ListView1(w)->Rows(), (QStringList{top, upper}));
        QCOMPARE(fx.dialogs.inputRequests.value(0).value(2), QString("odt"));
        QCOMPARE(fx.settings.GetSetting("LastFolder", ""), fx.dir.filePath("Tree"));
        QVERIFY(!w.isBusy());
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);

        // Cancelling the prompt changes nothing.
        QTest::mouseClick(PushButton6(w), Qt::LeftButton);
        QCOMPARE(ListView1(w)->Count(), 2);
        QCOMPARE(fx.dialogs.folderRequests.size(), 1);
    }

    void samplesAreRecordedAtTheFirstStartAndLoadedOnce()
    {
        WindowFixture fx;
        const QString sample = fx.file("program/Samples/Sample.odt");
        const QString other = fx.file("program/Samples/Letter.sxw");
        Form1 &w = fx.loaded();
        QVERIFY(!fx.settings.GetSetting("Snapshot", "").isEmpty());

        fx.dialogs.answers.enqueue(Dialogs::Answer::Yes);
        QTest::mouseClick(PushButton9(w), Qt::LeftButton);
        QTest::mouseClick(PushButton9(w), Qt::LeftButton);
        QCOMPARE(ListView1(w)->Rows(), (QStringList{other, sample}));
        QCOMPARE(fx.dialogs.messages.size(), 2);
        QCOMPARE(fx.dialogs.messages[0].text, OpenSampleFolderQuestion());
        QCOMPARE(fx.dialogs.messages[0].buttons, Dialogs::Buttons::YesNo);
        QCOMPARE(fx.dialogs.openedFolders.size(), 1);
        QVERIFY(fx.dialogs.openedFolders[0].startsWith(fx.dir.filePath("program/Samples")));

        // A later start does not record again: a new sample is not offered.
        const QString recorded = fx.settings.GetSetting("Snapshot", "");
        fx.file("program/Samples/Later.odt");
        WindowFixture second;
        second.settings.SaveSetting("Snapshot", recorded);
        second.make().setProgramFolder(fx.dir.filePath("program/"));
        second.window->Form_Load();
        QCOMPARE(second.settings.GetSetting("Snapshot", ""), recorded);
    }
};

TARNWICK_TEST_MAIN(TestWindowInput)
#include "test_window_input.moc"
