// What `tarnwick --convert` finds in the paths it is given, what it leaves out,
// and where the text files go.
#include "BatchProgram.h"
#include "support/RootOnly.h"
#include "assets/WriterDocuments.h"

#include <QDir>
#include <QScopeGuard>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestBatchWalk : public BatchProgramTest {
    Q_OBJECT

private slots:
    // A folder tree as people have them: what is converted, what is left out, what
    // fails, beside the documents and into one folder.
    void treeConvertsBesideAndIntoOneFolder()
    {
        const QString tree = path(QStringLiteral("tree"));
        QDir().mkpath(tree + "/sub/deeper");
        QDir().mkpath(path("elsewhere"));
        const QString awkward = QStringLiteral("Zoë #1 100% ünïcode.odt");
        writeOdt(tree + "/good.odt", {"Good document"});
        writeOdt(tree + "/" + awkward, {"Awkward name"});
        writeOdt(tree + "/UPPER.ODT", {"Upper case extension"});
        writeSxw(tree + "/sub/old.sxw", {"Old format"});
        writeWriterDocument(tree + "/sub/deeper/form.ott", WriterFormat::Ott, {"A template"});
        writeOdt(tree + "/sub/good.odt", {"Same name, other folder"});
        writeTruncatedOdt(tree + "/broken.odt");
        writeOdt(tree + "/.hidden.odt", {"Hidden"});
        writeOdt(tree + "/~lock.odt", {"Lock"});
        QDir().mkpath(tree + "/.Trash-1000/files");
        writeOdt(tree + "/.Trash-1000/files/thrown.odt", {"Thrown away"});
        QFile notes(tree + "/notes.txt");
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a document") > 0);
        notes.close();
        writeOdt(path("elsewhere/linked.odt"), {"Behind a link"});
        QVERIFY(QFile::link(path("elsewhere"), tree + "/link"));

        const Outcome beside = run({tree});
        QCOMPARE(beside.exitCode, 1); // the broken one
        QCOMPARE(documentText(tree + "/good.txt"), QStringLiteral("Good document"));
        QCOMPARE(documentText(tree + "/Zoë #1 100% ünïcode.txt"), QStringLiteral("Awkward name"));
        QCOMPARE(documentText(tree + "/UPPER.txt"), QStringLiteral("Upper case extension"));
        QCOMPARE(documentText(tree + "/sub/old.txt"), QStringLiteral("Old format"));
        QCOMPARE(documentText(tree + "/sub/deeper/form.txt"), QStringLiteral("A template"));
        QCOMPARE(documentText(tree + "/sub/good.txt"), QStringLiteral("Same name, other folder"));
        for (const char *absent : {"/broken.txt", "/.hidden.txt", "/~lock.txt", "/link/linked.txt"})
            QVERIFY2(!QFileInfo::exists(tree + absent), absent);
        QVERIFY(!QFileInfo::exists(path("elsewhere/linked.txt")));
        QVERIFY(!QFileInfo::exists(tree + "/.Trash-1000/files/thrown.txt"));
        QCOMPARE(documentText(tree + "/notes.txt"), QStringLiteral("not a document"));
        QVERIFY2(beside.errors.contains(QStringLiteral("failed: %1/broken.odt: ").arg(tree)), qPrintable(beside.errors));
        QVERIFY2(beside.errors.contains(QStringLiteral("Converted 6, failed 1, skipped 0")), qPrintable(beside.errors));

        const QString out = path(QStringLiteral("out"));
        QDir().mkpath(out);
        const Outcome into = run({QStringLiteral("--out"), out, QStringLiteral("--quiet"), tree});
        QCOMPARE(into.exitCode, 1);
        QCOMPARE(QDir(out).entryList(QDir::Files, QDir::Name),
                 (QStringList{"UPPER.txt", "Zoë #1 100% ünïcode.txt", "form.txt", "good.txt", "old.txt"}));
        // Two documents giving good.txt: the first in walk order wins, the second is
        // reported and nothing is replaced.
        QCOMPARE(documentText(out + "/good.txt"), QStringLiteral("Good document"));
        QVERIFY2(into.errors.contains(QStringLiteral("skipped: %1/sub/good.odt: ").arg(tree)), qPrintable(into.errors));
        QVERIFY(into.errors.contains(QStringLiteral("failed: %1/broken.odt: ").arg(tree)));
        QVERIFY2(!into.errors.contains(QStringLiteral("Converted")), "--quiet prints failures only");
    }

    // Root converts a user's documents into that user's folders: beside them (a
    // group's shared folder too) and into another folder of theirs, each text the
    // user's like its document. A folder of theirs that others may change, and
    // which is not the document's own, is refused, naming the way out.
    void rootConvertsIntoItsUsersFolders()
    {
        SKIP_UNLESS_ROOT("to give folders to another user");
        const QString home = path(QStringLiteral("users/victim")), shared = home + "/shared",
                      out = home + "/texts", open = home + "/open";
        for (const auto &[folder, mode] : {std::pair{home, 0755}, {shared, 02775}, {out, 0755}, {open, 0777}}) {
            QDir().mkpath(folder);
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), mode_t(mode)) == 0
                    && ::chown(QFile::encodeName(folder).constData(), 65534, 65534) == 0);
        }
        writeOdt(home + "/letter.odt", {"A letter"});
        writeOdt(shared + "/minutes.odt", {"The minutes"});
        for (const QString &document : {home + "/letter.odt", shared + "/minutes.odt"})
            QVERIFY(::chown(QFile::encodeName(document).constData(), 65534, 65534) == 0);

        const Outcome beside = run({home + "/letter.odt", shared + "/minutes.odt"});
        QVERIFY2(beside.exitCode == 0, qPrintable(beside.errors));
        const Outcome into = run({"--out", out, home + "/letter.odt"});
        QVERIFY2(into.exitCode == 0, qPrintable(into.errors));
        for (const QString &text : {home + "/letter.txt", shared + "/minutes.txt", out + "/letter.txt"}) {
            QVERIFY2(!documentText(text).isEmpty(), qPrintable(text));
            QCOMPARE(QFileInfo(text).ownerId(), 65534u);
        }
        const Outcome refused = run({"--out", open, home + "/letter.odt"});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.errors.contains("may be changed by others") && refused.errors.contains("runuser -u "),
                 qPrintable(refused.errors));
        QVERIFY(QDir(open).isEmpty());
    }

    // --mirror keeps the tree below --out: the same name in three folders gives three
    // text files. A folder there that is a link is never written through, nor one
    // that another user made first in a shared --out (mode 1777): their documents
    // fail, and a rerun with --update finds the others up to date.
    void mirrorKeepsTheTreeAndWritesThroughNoLink()
    {
        SKIP_UNLESS_ROOT("to make a folder of another user's");
        const QString tree = path(QStringLiteral("mirror/tree")), out = path(QStringLiteral("mirror/out")),
                      elsewhere = path(QStringLiteral("mirror/elsewhere")),
                      report = path(QStringLiteral("mirror.jsonl"));
        for (const QString folder : {"a", "b", "c/deep", "theirs"}) {
            QDir().mkpath(tree + '/' + folder);
            writeOdt(tree + '/' + folder + "/report.odt", {"Report of " + folder});
        }
        writeOdt(tree + "/top.odt", {"At the top"});
        writeOdt(path(QStringLiteral("mirror/loose.odt")), {"Named itself"});
        QDir().mkpath(out);
        QDir().mkpath(elsewhere);
        QVERIFY(QFile::link(elsewhere, out + "/b"));
        const QByteArray theirs = QFile::encodeName(out + "/theirs");
        QVERIFY(::chmod(QFile::encodeName(out).constData(), 01777) == 0 && ::mkdir(theirs.constData(), 0755) == 0
                && ::chown(theirs.constData(), 65534, 65534) == 0);

        const Outcome first = run({"--out", out, "--mirror", "--report", report, tree, path("mirror/loose.odt")});
        QCOMPARE(first.exitCode, 1);
        QCOMPARE(documentText(out + "/a/report.txt"), QStringLiteral("Report of a"));
        QCOMPARE(documentText(out + "/c/deep/report.txt"), QStringLiteral("Report of c/deep"));
        QCOMPARE(documentText(out + "/top.txt"), QStringLiteral("At the top"));
        QCOMPARE(documentText(out + "/loose.txt"), QStringLiteral("Named itself")); // not below the current folder
        QVERIFY(QDir(elsewhere).isEmpty());
        QVERIFY2(first.errors.contains(QStringLiteral("failed: %1/b/report.odt: the folder %2/b of the text file is a "
                                                      "symbolic link")
                                           .arg(tree, out)),
                 qPrintable(first.errors));
        QVERIFY2(first.errors.contains(QStringLiteral("failed: %1/theirs/report.odt: the folder %2/theirs of the text "
                                                      "file belongs to another user")
                                           .arg(tree, out)),
                 qPrintable(first.errors));
        QVERIFY(QDir(out + "/theirs").isEmpty());
        const QJsonObject linked = bySource(reportLines(report)).value(tree + "/b/report.odt");
        QCOMPARE(linked["status"].toString(), QStringLiteral("failed"));
        QCOMPARE(linked["target"].toString(), out + "/b/report.txt");
        const mode_t mask = ::umask(0);
        ::umask(mask);
        struct stat made {};
        QVERIFY(::stat(QFile::encodeName(out + "/c/deep").constData(), &made) == 0);
        QCOMPARE(made.st_mode & 07777, 0777 & ~mask);

        const Outcome again = run({"--out", out, "--mirror", "--update", "--jobs", "2", tree});
        QCOMPARE(again.exitCode, 1);
        QVERIFY2(again.errors.contains(QStringLiteral("Converted 0, failed 2, skipped 0, up to date 3")),
                 qPrintable(again.errors));
    }

    // What the walk cannot reach by a path is named, document by document, and the run
    // fails: documents below the system's path limit and paths that are not UTF-8.
    // Below the limit the walk's rules still hold (hidden files, other extensions and
    // links to folders are left out). No document is left to convert: no office starts.
    void unreachableDocumentsAreNamed()
    {
        const QByteArray top = QFile::encodeName(path(QStringLiteral("unreachable")));
        const auto removeTree = qScopeGuard([&] { QProcess::execute("rm", {"-rf", QFile::decodeName(top)}); });
        QCOMPARE(::mkdir(top.constData(), 0755), 0);
        int folder = ::open(top.constData(), O_RDONLY | O_DIRECTORY);
        QByteArray deep = top;
        const QByteArray name(100, 'n');
        while (deep.size() < 4200) { // past PATH_MAX, 4096
            QCOMPARE(::mkdirat(folder, name.constData(), 0755), 0);
            const int below = ::openat(folder, name.constData(), O_RDONLY | O_DIRECTORY);
            ::close(folder);
            folder = below;
            QVERIFY(folder >= 0);
            deep += '/' + name;
        }
        const auto create = [](int at, const char *file) { ::close(::openat(at, file, O_WRONLY | O_CREAT, 0644)); };
        const char *printed = R"(\033]0;title\a\033[2J\033[1;31m\r\ntarnwick: all fine.odt)"; // as ls -b shows it
        for (const char *sub : {"a", "a/deeper", "b"})
            QCOMPARE(::mkdirat(folder, sub, 0755), 0);
        for (const char *file : {"\033]0;title\a\033[2J\033[1;31m\r\ntarnwick: all fine.odt", "a/one.odt",
                                 "a/deeper/two.odt", "b/three.odt", ".hidden.odt", "notes.txt"})
            create(folder, file);
        QCOMPARE(::symlinkat("a", folder, "link"), 0);
        ::close(folder);
        QCOMPARE(::mkdir((top + "/caf\xe9").constData(), 0755), 0);
        create(AT_FDCWD, (top + "/caf\xe9/in.odt").constData());
        create(AT_FDCWD, (top + "/bad\xff.odt").constData());

        const Outcome outcome = run({QFile::decodeName(top)});
        QCOMPARE(outcome.exitCode, 1);
        const QString tooLong = QStringLiteral(": its path is longer than the system allows (4096 bytes)");
        const QString notUtf8 = QStringLiteral(": its path is not valid UTF-8");
        const QStringList expected{"failed: " + QFile::decodeName(top) + "/bad\\377.odt" + notUtf8,
                                   "failed: " + QFile::decodeName(top) + "/caf\\351/in.odt" + notUtf8,
                                   "failed: " + QFile::decodeName(deep) + "/" + printed + tooLong,
                                   "failed: " + QFile::decodeName(deep) + "/a/one.odt" + tooLong,
                                   "failed: " + QFile::decodeName(deep) + "/a/deeper/two.odt" + tooLong,
                                   "failed: " + QFile::decodeName(deep) + "/b/three.odt" + tooLong,
                                   "Converted 0, failed 6, skipped 0"};
        const QStringList lines = outcome.errors.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), expected.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            QVERIFY2(lines[i].contains(expected[i]), qPrintable(lines[i].right(200)));
        QVERIFY(!outcome.errors.contains(QChar(0x1B)) && !outcome.errors.contains('\r'));

        // Named on the command line, what is there but no file is not called missing.
        const Outcome device = run({"/dev/null"});
        QVERIFY2(device.exitCode == 1 && device.errors.contains("/dev/null: it is neither a file nor a folder"),
                 qPrintable(device.errors));
    }
};

QTEST_GUILESS_MAIN(TestBatchWalk)
#include "test_batch_walk.moc"
