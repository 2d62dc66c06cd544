// What the batch gathers before any office starts.
#include "batch/WorkList.h"
#include "support/ScriptedDialogs.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

class TestWorkList : public QObject {
    Q_OBJECT

private slots:
    // A signal during a long walk ends it at the next folder, not at the tree's end.
    void stoppedWalkEndsEarly()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 40; ++i)
            writeFile(dir.filePath(QStringLiteral("f%1/sub/doc%1.odt").arg(i)));
        ScriptedDialogs dialogs;
        QList<FailedPath> failed;
        QCOMPARE(CollectDocuments({dir.path()}, {"odt"}, dialogs, failed, [] { return false; }).size(), 40);
        int asked = 0;
        QVERIFY(CollectDocuments({dir.path()}, {"odt"}, dialogs, failed, [&] { return ++asked > 5; }).size() < 5);
        QVERIFY(asked < 10 && failed.isEmpty());
    }

    // Where --mirror puts a text file below the output folder: below its walk's root,
    // or below the current folder for a document named itself, else at the top.
    void mirroredFolders()
    {
        QCOMPARE(MirroredFolder({"/srv/docs/2019/a/r.odt", "/srv/docs/"}, "/home/u"), QString("2019/a"));
        QCOMPARE(MirroredFolder({"/srv/docs/r.odt", "/srv/docs"}, "/home/u"), QString());
        QCOMPARE(MirroredFolder({"/home/u/./notes/r.odt", {}}, "/home/u"), QString("notes"));
        QCOMPARE(MirroredFolder({"/home/user2/r.odt", {}}, "/home/u"), QString());
        QCOMPARE(MirroredFolder({"/srv/r.odt", {}}, "/"), QString("srv"));
    }
};

QTEST_GUILESS_MAIN(TestWorkList)
#include "test_work_list.moc"
