#include "input/DroppedPaths.h"
#include "support/FakeListWindow.h"
#include "support/TestEnvironment.h"
#include "TempTree.h"

#include <QMimeData>
#include <QUrl>

class TestDroppedPaths : public QObject {
    Q_OBJECT
private slots:
    void onlyLocalFileListsAreAccepted()
    {
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile("/tmp/a.odt"), QUrl::fromLocalFile("/tmp/folder/")});
        QVERIFY(CarriesFileList(&files));
        QCOMPARE(DroppedLocalPaths(&files), QStringList({"/tmp/a.odt", "/tmp/folder"}));

        QMimeData text;
        text.setText("file:///tmp/a.odt");
        QVERIFY(!CarriesFileList(&text));
        QVERIFY(DroppedLocalPaths(&text).isEmpty());

        QMimeData web;
        web.setUrls({QUrl::fromLocalFile("/tmp/a.odt"), QUrl("https://example.org/a.odt")});
        QVERIFY(!CarriesFileList(&web));

        QVERIFY(!CarriesFileList(nullptr));
    }

    void filesAsDroppedFoldersWalkedInDropOrder()
    {
        TempTree tree;
        for (const char *f : {"one/z.odt", "one/~$lock.odt", "one/.hidden", "one/notes.txt", "one/sub/a.odt",
                              "two/b.sxw", "loose/picture.png"})
            tree.file(f);
        tree.folder("empty");
        FakeListWindow w;
        const QString notThere = tree.path("loose/never-existed.odt");

        AddDroppedPaths({tree.path("loose/picture.png"), tree.path("two"), tree.path("empty"), notThere,
                         tree.path("one"), tree.path("loose/picture.png")},
                        w);
        QCOMPARE(w.rowTexts, QStringList({tree.path("loose/picture.png"), tree.path("two/b.sxw"), notThere,
                                    tree.path("one/notes.txt"), tree.path("one/z.odt"), tree.path("one/sub/a.odt"),
                                    tree.path("loose/picture.png")}));
        QVERIFY(w.scripted.messages.isEmpty());
    }

    void failuresSkipThePathAndTheDropGoesOn()
    {
        TempTree tree;
        tree.file("a/first.odt");
        tree.file("b/second.odt");
        tree.file("c/third.odt");
        FakeListWindow w;
        w.onAppend = [](const QString &row) {
            if (row.endsWith("second.odt"))
                throw std::runtime_error("list is gone");
        };
        AddDroppedPaths({tree.path("a"), tree.path("b"), QString(5000, 'x'), tree.path("c")}, w);
        QCOMPARE(w.rowTexts, QStringList({tree.path("a/first.odt"), tree.path("c/third.odt")}));
        QVERIFY(w.scripted.messages.isEmpty());
    }
};

TARNWICK_TEST_MAIN(TestDroppedPaths)
#include "test_dropped_paths.moc"
