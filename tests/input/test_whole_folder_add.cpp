#include "app/SettingsStore.h"
#include "input/WholeFolderAdd.h"
#include "support/ScriptedDialogs.h"
#include "support/TestEnvironment.h"
#include "util/AppError.h"
#include "support/FakeListWindow.h"
#include "TempTree.h"

namespace {

// The window side of the command, and the command run on it.
struct FakeWindow : FakeListWindow {
    void run(const QString &answer, const QString &folder)
    {
        scripted.inputs.enqueue(answer);
        scripted.folders.enqueue(folder);
        AddAllFilesInFolder(*this);
    }
};

} // namespace

class TestWholeFolderAdd : public QObject {
    Q_OBJECT
private slots:
    void asksForExtensionThenFolder()
    {
        TempTree tree;
        FakeWindow w;
        w.run("txt", tree.root());
        QCOMPARE(w.scripted.inputRequests.size(), 1);
        QCOMPARE(w.scripted.inputRequests[0],
                 QStringList({"Enter file extension to load:\r\r(* for all files, txt for all txt files, doc "
                              "for all doc files, etc.)",
                              "Tarnwick", "odt"}));
        QCOMPARE(w.scripted.folderRequests, QList<QStringList>({{"Please select folder:", ""}}));
        QCOMPARE(w.settingsStore.GetSetting("Extension", "-"), QString("txt"));
        QCOMPARE(w.settingsStore.GetSetting("LastFolder", "-"), tree.root());

        // Cancelled input box: nothing changes. Cancelled browser: the extension is kept.
        AddAllFilesInFolder(w);
        w.scripted.inputs.enqueue("sxw");
        AddAllFilesInFolder(w);
        QCOMPARE(w.scripted.folderRequests[1], QStringList({"Please select folder:", tree.root()}));
        QCOMPARE(w.scripted.folderRequests.size(), 2);
        QCOMPARE(w.settingsStore.GetSetting("Extension", "-"), QString("sxw"));
        QCOMPARE(w.settingsStore.GetSetting("LastFolder", "-"), tree.root());
        QCOMPARE(w.pointer, QList<bool>({true, false}));
        QVERIFY(w.scripted.messages.isEmpty());
    }

    void addsFilesLevelByLevelWithTheFileRules()
    {
        TempTree tree;
        for (const char *f : {"b.odt", "A.ODT", "~lock.odt", "x~y.odt", ".hidden.odt", "note.txt", "sub/c.odt",
                              "sub2/deep/d.odt", "sub2/e.odt", ".config/f.odt", "John’s Documents/g.odt"})
            tree.file(QString::fromUtf8(f));
        tree.folder("empty");
        FakeWindow w;
        w.run("odt", tree.root());
        QCOMPARE(tree.relative(w.rowTexts),
                 QStringList({"R/A.ODT", "R/b.odt", "R/x~y.odt", "R/.config/f.odt",
                              QString::fromUtf8("R/John’s Documents/g.odt"), "R/sub/c.odt", "R/sub2/e.odt",
                              "R/sub2/deep/d.odt"}));

        const QStringList once = w.rowTexts;
        w.rowTexts.clear();
        w.run("ODT", tree.root());
        QCOMPARE(w.rowTexts, once);

        w.rowTexts.clear();
        w.run("*", tree.root());
        QCOMPARE(w.rowTexts.size(), once.size() + 1); // note.txt as well
        QVERIFY(w.rowTexts.contains(tree.path("note.txt")));

        // The same folder again doubles every row.
        w.rowTexts.clear();
        w.run("odt", tree.root());
        w.run("odt", tree.root());
        QCOMPARE(w.rowTexts, once + once);
        QVERIFY(w.scripted.messages.isEmpty());

        w.rowTexts.clear();
        w.run("odt", tree.path("empty"));
        QVERIFY(w.rowTexts.isEmpty());
        QVERIFY(w.scripted.messages.isEmpty());
    }

    void failingStepsAreReportedAndTheCommandGoesOn()
    {
        TempTree tree;
        tree.file("a.odt");
        tree.file("b.odt");
        tree.file("c.odt");
        tree.file("blocker"); // a store inside a file cannot be written
        FakeListWindow w(tree.path("blocker/settings.ini"));
        w.onAppend = [](const QString &row) {
            if (row.endsWith("b.odt"))
                throw AppError("Out of memory");
        };
        w.scripted.inputs.enqueue("odt");
        w.scripted.folders.enqueue(tree.root());
        AddAllFilesInFolder(w);

        const QStringList reports = w.scripted.errorReports();
        QCOMPARE(reports.size(), 3);
        QVERIFY(reports[0].contains("\r\nin Pellmark2021/08/31.Form1.PushButton6_Click at line 100\r\r"));
        QVERIFY(reports[1].contains("PushButton6_Click at line 334\r\r"));
        QVERIFY(reports[2].startsWith("Out of memory\r\nin Pellmark2021/08/31.Form1.PushButton6_Click at line 132"));
        QCOMPARE(tree.relative(w.rowTexts), QStringList({"R/a.odt", "R/c.odt"}));
        QCOMPARE(w.pointer, QList<bool>({true, false}));
    }
};

TARNWICK_TEST_MAIN(TestWholeFolderAdd)
#include "test_whole_folder_add.moc"
