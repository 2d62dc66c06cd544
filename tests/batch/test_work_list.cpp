// What the batch gathers before any office starts.
#include "batch/WorkList.h"
#include "support/ScriptedDialogs.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestWorkList : public QObject {
    Q_OBJECT

private slots:
    // A signal during a long walk ends the walk at the next folder, not at the end of
    // the tree; a walk that is not stopped finds every document.
    void stoppedWalkEndsEarly()
    {
        QTemporaryDir dir;
        const int folders = 40;
        for (int i = 0; i < folders; ++i)
            writeFile(dir.filePath(QStringLiteral("f%1/sub/doc%1.odt").arg(i)));
        ScriptedDialogs dialogs;
        QList<FailedPath> failed;
        QCOMPARE(CollectDocuments({dir.path()}, {"odt"}, dialogs, failed, [] { return false; }).size(), folders);

        int asked = 0;
        const QStringList found =
            CollectDocuments({dir.path()}, {"odt"}, dialogs, failed, [&] { return ++asked > 5; });
        QVERIFY2(found.size() < 5, qPrintable(found.join(' ')));
        QVERIFY(asked < 10);
        QVERIFY(failed.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWorkList)
#include "test_work_list.moc"
