#include "core/ProgramCache.h"
#include "input/DroppedPaths.h"
#include "input/FileListView.h"
#include "input/FolderScan.h"
#include "util/AppError.h"
#include "support/FakeListWindow.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "TempTree.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QUrl>
#include <fcntl.h>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace {

FolderList walk(const QString &folder, ScriptedDialogs &dialogs)
{
    FolderList folders{folder + QLatin1Char('/')};
    GetSubDirectories2016(folders, true, dialogs);
    return folders;
}

} // namespace

class TestFolderScan : public QObject {
    Q_OBJECT
private slots:
    void walkGoesLevelByLevelInNameOrder()
    {
        TempTree tree;
        for (const char *f : {"B/b1", "a/A2", "a/a1", "a/a1/deep"})
            tree.folder(f);
        ScriptedDialogs dialogs;
        QCOMPARE(tree.relative(walk(tree.root(), dialogs)),
                 QStringList({"R/", "R/a/", "R/B/", "R/a/a1/", "R/a/A2/", "R/B/b1/", "R/a/a1/deep/"}));

        FolderList oneLevel{tree.root() + "/"};
        GetSubDirectories2016(oneLevel, false, dialogs);
        QCOMPARE(tree.relative(oneLevel), QStringList({"R/", "R/a/", "R/B/"}));
        QCOMPARE(tree.relative(walk(tree.path("B/b1"), dialogs)), QStringList({"R/B/b1/"}));
        QVERIFY(ListFolderFiles(tree.path("B/b1"), "*.*").isEmpty());
        QVERIFY(dialogs.messages.isEmpty());
    }

    // What a walk enters and what a listing gives, whoever asks: the whole-folder add
    // and a folder dropped on the list.
    void walkRules()
    {
        TempTree tree;
        tree.file(".config/inner/a.odt");
        tree.file(QString::fromUtf8("John’s Documents/b.odt"));
        tree.file("what?/below/c.odt");
        tree.file("tab\there/d\x01?.odt");
        tree.file(".Trash-1000/files/deleted.odt");
        tree.file(".Trash/1000/files/deleted.odt");
        tree.file("kept.odt");
        const QByteArray latin1Name = QFile::encodeName(tree.root()) + "/caf\xe9";
        QCOMPARE(::mkdir(latin1Name.constData(), 0755), 0);
        QCOMPARE(::mkdir((latin1Name + "/below").constData(), 0755), 0);
        QCOMPARE(::close(::creat((QFile::encodeName(tree.root()) + "/caf\xe9.odt").constData(), 0644)) , 0);
        QCOMPARE(::mkfifo(QFile::encodeName(tree.path("fifo.odt")).constData(), 0644), 0);
        QCOMPARE(::symlink("/dev/null", QFile::encodeName(tree.path("device.odt")).constData()), 0);
        QVERIFY(QFile::link(tree.path("kept.odt"), tree.path("link to kept.odt")));
        // The user's Trash and the program's cache folder, reached from the home folder.
        const QString home = QDir::homePath();
        writeFile(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files/gone.odt");
        writeFile(ProgramCacheFolder() + "/office-profile-temp/lu1.tmp/copy.odt");
        writeFile(home + "/Documents/mine.odt");

        ScriptedDialogs dialogs;
        QCOMPARE(tree.relative(walk(tree.root(), dialogs)),
                 QStringList({"R/", "R/.config/", QString::fromUtf8("R/John’s Documents/"), "R/tab\there/",
                              "R/what?/", "R/.config/inner/", "R/what?/below/"}));
        QCOMPARE(ListFolderFiles(tree.root(), "*.odt"), QStringList({"kept.odt", "link to kept.odt"}));
        // Asked for what they leave out, the walk and the listing give the same and
        // name what is not UTF-8.
        QList<QByteArray> unreached;
        FolderList told{tree.root() + "/"};
        GetSubDirectories2016(told, true, dialogs, [&](const UnreachedPath &path) { unreached << path.path; });
        QCOMPARE(told, walk(tree.root(), dialogs));
        QCOMPARE(ListFolderFiles(tree.root(), "*.odt", [&](const QByteArray &name) { unreached << name; }),
                 QStringList({"kept.odt", "link to kept.odt"}));
        QCOMPARE(unreached, QList<QByteArray>({latin1Name + "/", "caf\xe9.odt"}));

        FakeListWindow w;
        AddDroppedPaths({home, tree.path("fifo.odt"), tree.path("tab\there")}, w);
        QCOMPARE(w.rowTexts, QStringList({home + "/Documents/mine.odt", tree.path("tab\there/d\x01?.odt")}));

        // A drop answers Copy, also when the file manager proposes Move.
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(tree.path("kept.odt"))});
        FileListView list;
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(QPoint(1, 1), offered, &dropped, Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(enter.dropAction(), Qt::MoveAction); // what a Shift-drop proposes
        QApplication::sendEvent(list.viewport(), &enter);
        QDropEvent drop(QPointF(1, 1), offered, &dropped, Qt::LeftButton, Qt::ShiftModifier);
        QApplication::sendEvent(list.viewport(), &drop);
        QVERIFY(enter.isAccepted() && drop.isAccepted());
        QCOMPARE(enter.dropAction(), Qt::CopyAction);
        QCOMPARE(drop.dropAction(), Qt::CopyAction);

        ::unlink((QFile::encodeName(tree.root()) + "/caf\xe9.odt").constData()); // Qt cannot name these
        ::rmdir((latin1Name + "/below").constData());
        ::rmdir(latin1Name.constData());
    }

    void linkLoopEnds()
    {
        TempTree tree;
        tree.folder("A/real");
        tree.file("A/real/x.odt");
        QVERIFY(QFile::link(tree.root(), tree.path("A/up")));
        QVERIFY(QFile::link(tree.path("A"), tree.path("A/self")));
        QVERIFY(QFile::link(tree.path("A/real"), tree.path("linkToReal")));

        ScriptedDialogs dialogs;
        QCOMPARE(tree.relative(walk(tree.root(), dialogs)), QStringList({"R/", "R/A/", "R/A/real/"}));

        // The chosen folder itself may be a link; the links below it are still kept out.
        FakeListWindow w;
        AddDroppedPaths({tree.path("linkToReal")}, w);
        QCOMPARE(tree.relative(w.rowTexts), QStringList({"R/linkToReal/x.odt"}));
    }

    void folderThatVanishesDuringTheWalkIsLeftOut()
    {
        TempTree tree;
        tree.folder("A");
        tree.folder("B/B1");
        // The walk lets events through; this one removes B after it was found.
        QTimer::singleShot(0, [&] { QDir(tree.path("B")).removeRecursively(); });
        ScriptedDialogs dialogs;
        QCOMPARE(tree.relative(walk(tree.root(), dialogs)), QStringList({"R/", "R/A/"}));
        QVERIFY(dialogs.messages.isEmpty());
    }

    // Root ignores permissions, so the walk runs in a child process as "nobody".
    void unreadableFolderIsRemovedSilently()
    {
        TempTree tree;
        tree.file("A/a.odt");
        tree.file("B/b.odt");
        tree.file("Locked/x.odt");
        tree.file("Locked/Sub/y.odt");
        QProcess::execute("chmod", {"-R", "a+rX", tree.root()});
        QVERIFY(QFile::setPermissions(tree.path("Locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        if (::geteuid() == 0 && QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("setpriv is needed to drop root's privileges");

        QString whole;
        runProbe(tree.root(), whole);
        if (QTest::currentTestFailed())
            return;
        // The batch's walk is told of it.
        const QString told = QString("UNREACHED %1/Locked/ Permission denied\n").arg(tree.root());
        QCOMPARE(whole,
                 QString("R/\nR/A/\nR/B/\nROWS\nR/A/a.odt\nR/B/b.odt\nREPORTS 0\n").replace("R/", tree.root() + "/")
                     + told);
        QString locked;
        runProbe(tree.path("Locked"), locked);
        QCOMPARE(locked, QString("ROWS\nREPORTS 0\n") + told);
    }

    void listingMatchesPatternsRegardlessOfCase()
    {
        TempTree tree;
        for (const char *f : {"b.odt", "A.ODT", "c.Odt", "d.txt", "noextension", ".hidden.odt", "x.odt.bak"})
            tree.file(f);
        tree.folder("folder.odt");
        QVERIFY(QFile::link(tree.path("b.odt"), tree.path("link.odt")));
        QVERIFY(QFile::link(tree.path("gone"), tree.path("dangling.odt")));

        QCOMPARE(ListFolderFiles(tree.root(), "*.odt"),
                 QStringList({".hidden.odt", "A.ODT", "b.odt", "c.Odt", "link.odt"}));
        QCOMPARE(ListFolderFiles(tree.root() + "/", "*.ODT"), ListFolderFiles(tree.root(), "*.odt"));
        QCOMPARE(ListFolderFiles(tree.root(), "*.*").size(), 8); // all but the folder and the dangling link
        QVERIFY(ListFolderFiles(tree.root(), "*.*").contains("noextension"));
        QCOMPARE(ListFolderFiles(tree.root(), "*.?xt"), QStringList({"d.txt"}));
        QVERIFY(ListFolderFiles(tree.path("missing"), "*.*").isEmpty());
        QVERIFY(IsExistingFile(tree.path("b.odt")) && !IsExistingFile(tree.root()));
        QVERIFY_THROWS_EXCEPTION(AppError, ListFolderFiles(tree.root() + "/" + QString(4100, 'x'), "*.*"));
    }

private:
    // Runs walk_probe on a folder, as an unprivileged user when the tests run as root.
    void runProbe(const QString &folder, QString &output)
    {
        QProcess probe;
        if (::geteuid() == 0) {
            probe.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", WALK_PROBE, folder});
        } else {
            probe.start(WALK_PROBE, {folder});
        }
        QVERIFY(probe.waitForFinished(60000));
        QVERIFY2(probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0,
                 probe.readAllStandardError().constData());
        output = QString::fromUtf8(probe.readAllStandardOutput());
    }
};

TARNWICK_TEST_MAIN(TestFolderScan)
#include "test_folder_scan.moc"
