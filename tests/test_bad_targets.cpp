// Text files the window's run may not write, destinations that fail or go away
// during the run, full disks and unwritable folders, with the real office. Each
// failure is reported at its step, the run ends with "Done.", and nothing but the
// run's own text files is written, changed or removed.
#include "assets/WriterDocuments.h"
#include "support/RootOnly.h"
#include "support/TestEnvironment.h"
#include "support/WindowRunOnOffice.h"

#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QStandardPaths>
#include <atomic>
#include <chrono>
#include <sys/stat.h>
#include <thread>

namespace {

// empty root/out. Returns the three paths.
QStringList threeDocuments(const QString &root)
{
    QDir().mkpath(root + QStringLiteral("/in"));
    QDir().mkpath(root + QStringLiteral("/out"));
    QStringList paths;
    for (const char *name : {"first", "second", "third"}) {
        paths << root + QStringLiteral("/in/%1.odt").arg(QLatin1String(name));
        writeOdt(paths.last(), {QLatin1String(name)});
    }
    return paths;
}

} // namespace

class TestBadTargets : public WindowRunTest {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void cleanupTestCase() { m_office.shutdown(); }

    // Text files that are not the run's to replace: a link (to a file outside), a
    // read-only file, and one this run wrote from another document are reported and
    // left as they are; one of an earlier run is replaced. A new text file gets the
    // user's usual mode, and no file of the save is left behind.
    void targetRules()
    {
        const QString root = m_dir.filePath(QStringLiteral("targets"));
        for (const char *folder : {"/in", "/a", "/b", "/out"})
            QDir().mkpath(root + QLatin1String(folder));
        writeOdt(root + QStringLiteral("/in/invoice.odt"), {QStringLiteral("Invoice")});
        writeOdt(root + QStringLiteral("/in/locked.odt"), {QStringLiteral("Locked")});
        writeOdt(root + QStringLiteral("/a/report.odt"), {QStringLiteral("From a")});
        writeOdt(root + QStringLiteral("/b/report.odt"), {QStringLiteral("From b")});
        writeFile(root + QStringLiteral("/precious"), "Precious.\n");
        writeFile(root + QStringLiteral("/out/usual")); // made with the user's usual mode
        QVERIFY(QFile::link(root + QStringLiteral("/precious"), root + QStringLiteral("/out/invoice.txt")));
        writeFile(root + QStringLiteral("/out/locked.txt"), "Keep me.\n");
        QVERIFY(QFile::setPermissions(root + QStringLiteral("/out/locked.txt"), QFile::ReadOwner | QFile::ReadOther));
        const QStringList rows{root + QStringLiteral("/in/invoice.odt"), root + QStringLiteral("/in/locked.odt"),
                               root + QStringLiteral("/a/report.odt"), root + QStringLiteral("/b/report.odt"),
                               root + QStringLiteral("/a/report.odt")}; // again: its own text file is no clash

        for (const QByteArray &earlier : {QByteArray(), QByteArray("Earlier run.\n")}) {
            if (!earlier.isEmpty())
                writeFile(root + QStringLiteral("/out/report.txt"), earlier);
            const TreeState before = treeState(root);
            const Outcome outcome = convert(rows, root + QStringLiteral("/out/"));
            QCOMPARE(outcome.lines, QStringList({"164", "164", "164"}));
            QVERIFY2(outcome.reports[0].contains("symbolic link") && outcome.reports[1].contains("read-only")
                         && outcome.reports[2].contains("already written in this run, from " + rows[2]),
                     qPrintable(outcome.reports.join('\n')));
            QCOMPARE(outcome.messages, QStringList{"Done."});
            QCOMPARE(treeChanges(before, treeState(root)),
                     QStringList{(earlier.isEmpty() ? "+ " : "* ") + QStringLiteral("out/report.txt")});
            QVERIFY(readText(root + QStringLiteral("/out/report.txt")).contains("From a"));
        }
        struct stat made {}, usual {};
        QCOMPARE(::stat(QFile::encodeName(root + QStringLiteral("/out/report.txt")).constData(), &made), 0);
        QCOMPARE(::stat(QFile::encodeName(root + QStringLiteral("/out/usual")).constData(), &usual), 0);
        QCOMPARE(made.st_mode, usual.st_mode);
    }

    // On a full file system on which another program keeps freeing and taking space,
    // every text file is either whole or the old one, and then reported; no partial
    // file is left. Once there is room, it converts.
    void fullDiskCostsNoFile()
    {
        SKIP_UNLESS_ROOT("to mount a full disk");
        const QString disk = m_dir.filePath(QStringLiteral("small-disk"));
        const SmallDisk mounted(disk, "size=256k");
        if (!mounted.mounted())
            QSKIP("no tmpfs can be mounted here: the full-disk case is not tried");
        QDir().mkpath(m_dir.filePath(QStringLiteral("full")));
        QStringList documents;
        for (const int length : {40, 400, 1500, 3000}) {
            QStringList paragraphs;
            for (int i = 0; i < length; ++i)
                paragraphs << QStringLiteral("Paragraph %1 of a document that may not fit.").arg(i);
            documents << m_dir.filePath(QStringLiteral("full/doc%1.odt").arg(length));
            writeOdt(documents.last(), paragraphs);
        }
        const QString roomy = m_dir.filePath(QStringLiteral("full/whole"));
        QDir().mkpath(roomy);
        QCOMPARE(convert(documents, roomy).lines, QStringList());
        const QByteArray old("The old text.\n");
        for (const QString &document : documents)
            writeFile(disk + QLatin1Char('/') + QFileInfo(document).completeBaseName() + QStringLiteral(".txt"), old);
        QFile filler(disk + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(4096, 'f')) == 4096 && filler.flush()) {
        }
        filler.close();
        QVERIFY(filler.resize(filler.size() - 24576));

        std::atomic<bool> stop = false;
        std::thread otherWriter([&] {
            const QString breath = disk + QStringLiteral("/breath");
            while (!stop) {
                if (!QFile::remove(breath)) {
                    QFile taken(breath);
                    if (taken.open(QIODevice::WriteOnly))
                        taken.write(QByteArray(8192, 'b'));
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        const Outcome outcome = convert(documents, disk);
        stop = true;
        otherWriter.join();

        int oldOnes = 0;
        for (const QString &document : documents) {
            const QString name = QFileInfo(document).completeBaseName() + QStringLiteral(".txt");
            const QByteArray text = readBytes(disk + QLatin1Char('/') + name);
            QVERIFY2(text == old || text == readBytes(roomy + QLatin1Char('/') + name), qPrintable(name));
            oldOnes += text == old;
        }
        QCOMPARE(outcome.lines, QStringList(oldOnes, QStringLiteral("164")));
        QVERIFY2(outcome.reports.join('\n').contains("is full"), qPrintable(outcome.reports.join('\n')));
        QCOMPARE(outcome.messages, QStringList{"Done."});
        QCOMPARE(QDir(disk).entryList({QStringLiteral(".tarnwick-*")}, QDir::Files | QDir::Hidden), QStringList());

        QVERIFY(filler.remove());
        QCOMPARE(convert({documents.last()}, disk).lines, QStringList());
        QCOMPARE(readBytes(disk + QStringLiteral("/doc3000.txt")), readBytes(roomy + QStringLiteral("/doc3000.txt")));
    }

    // A text file is never readable by more people than its document, through a link
    // too, and never gets a bit that would make it a program.
    void textFilesAreNoMoreOpenThanTheirDocuments()
    {
        const QString root = m_dir.filePath(QStringLiteral("modes"));
        QDir().mkpath(root + QStringLiteral("/private"));
        QDir().mkpath(root + QStringLiteral("/shared"));
        writeOdt(root + QStringLiteral("/private/diary.odt"), {QStringLiteral("Dear diary")});
        QCOMPARE(::chmod(QFile::encodeName(root + QStringLiteral("/private/diary.odt")).constData(), 0600), 0);
        QVERIFY(QFile::link(root + QStringLiteral("/private/diary.odt"), root + QStringLiteral("/shared/diary.odt")));
        writeOdt(root + QStringLiteral("/shared/open.odt"), {QStringLiteral("Open")});
        QCOMPARE(::chmod(QFile::encodeName(root + QStringLiteral("/shared/open.odt")).constData(), 0644), 0);
        writeFile(root + QStringLiteral("/shared/open.txt"), "An older text.\n");
        QCOMPARE(::chmod(QFile::encodeName(root + QStringLiteral("/shared/open.txt")).constData(), 06777), 0);
        const QString archived = root + QStringLiteral("/shared/archived.odt");
        writeOdt(archived, {QStringLiteral("Archived")});
        QCOMPARE(::chmod(QFile::encodeName(archived).constData(), 0444), 0);

        const Outcome outcome = convert(
            {root + QStringLiteral("/shared/diary.odt"), root + QStringLiteral("/shared/open.odt"), archived}, {});
        QCOMPARE(outcome.lines, QStringList());
        const auto modeOf = [&](const char *name) {
            struct stat info {};
            return ::lstat(QFile::encodeName(root + QLatin1String(name)).constData(), &info) == 0
                       ? info.st_mode & 07777
                       : 0;
        };
        QCOMPARE(modeOf("/shared/diary.txt"), mode_t(0600));
        QCOMPARE(modeOf("/shared/open.txt"), mode_t(0644));
        QVERIFY(readText(root + QStringLiteral("/shared/diary.txt")).contains("Dear diary"));
        // A read-only document's text stays its owner's to replace: the next run does.
        QCOMPARE(modeOf("/shared/archived.txt") & 0700, mode_t(0600));
        QCOMPARE(convert({archived}, {}).lines, QStringList());
    }

    // A folder dropped on the list brings its text files too: one that the conversion of
    // a document of the same name would write over is kept, and both are reported.
    void listedTextFileIsNeverWrittenOver()
    {
        const QString root = m_dir.filePath(QStringLiteral("listed"));
        writeFile(root + QStringLiteral("/notes.txt"), "My own notes.\n");
        writeOdt(root + QStringLiteral("/notes.odt"), {QStringLiteral("From the document.")});
        const TreeState before = treeState(root);

        const Outcome outcome = convert({root + QStringLiteral("/notes.odt"), root + QStringLiteral("/notes.txt")},
                                        QString());
        QCOMPARE(outcome.lines, QStringList({"164", "164"}));
        QCOMPARE(outcome.messages, QStringList{"Done."});
        QCOMPARE(treeChanges(before, treeState(root)), QStringList());
    }

    // The chosen folder stops being there while the second of three documents is
    // handled, removed or retyped: the office would make the folder again, but the rest
    // are reported at the save and nothing turns up anywhere.
    void destinationGoneDuringTheRun_data()
    {
        QTest::addColumn<bool>("retyped");
        QTest::newRow("removed") << false;
        QTest::newRow("retyped") << true;
    }

    void destinationGoneDuringTheRun()
    {
        QFETCH(bool, retyped);
        const QString root = m_dir.filePath(QStringLiteral("vanishing/") + QTest::currentDataTag());
        const QStringList rows = threeDocuments(root);
        const QString out = root + QStringLiteral("/out/");
        const TreeState before = treeState(root);

        bool gone = false;
        const Outcome outcome = convert(rows, out, [&](Form1 &form) {
            if (gone || ProgressBar1(form)->format() != QLatin1String("Processing: second.odt"))
                return;
            QVERIFY(QFile::exists(out + QStringLiteral("first.txt")));
            if (retyped)
                Text1(form)->setText(root + QStringLiteral("/ou")); // typed, half-way
            else
                QVERIFY(QDir(out).removeRecursively());
            gone = true;
        });
        QVERIFY(gone);
        QCOMPARE(outcome.lines, QStringList({"164", "164"}));
        QCOMPARE(outcome.messages, QStringList{"Done."});
        QCOMPARE(treeChanges(before, treeState(root)),
                 retyped ? QStringList{"+ out/first.txt"} : QStringList{"- out"});
    }

    // Sources in a folder that cannot be written. Beside the sources, the save fails
    // and is reported, and the next document converts; into a folder of their own they
    // only need to be read. Root writes anywhere, so then the runs are made as "nobody"
    // by a probe program.
    void unwritableSourceFolder()
    {
        QTemporaryDir dir;
        const QString root = dir.path();
        for (const char *folder : {"/locked", "/open", "/out", "/home/cache"})
            QDir().mkpath(root + QLatin1String(folder));
        writeOdt(root + QStringLiteral("/locked/read-only.odt"), {QStringLiteral("Cannot be written.")});
        writeOdt(root + QStringLiteral("/locked/writable.odt"), {QStringLiteral("Can be written.")});
        writeOdt(root + QStringLiteral("/open/next.odt"), {QStringLiteral("The next one.")});
        QProcess::execute(QStringLiteral("chmod"), {QStringLiteral("-R"), QStringLiteral("a+rX"), root});
        if (::geteuid() == 0) {
            if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
                QSKIP("setpriv is needed to drop root's privileges");
            // "nobody" owns what it may write.
            for (const char *owned : {"/open", "/out", "/home", "/home/cache", "/locked/writable.odt"})
                QCOMPARE(::chown(QFile::encodeName(root + QLatin1String(owned)).constData(), 65534, 65534), 0);
        }
        const auto readAndExecute = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                    | QFile::ReadOther | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(root + QStringLiteral("/locked/read-only.odt"),
                                      QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(QFile::setPermissions(root + QStringLiteral("/locked"), readAndExecute));
        const auto unlock = qScopeGuard([&] {
            QFile::setPermissions(root + QStringLiteral("/locked"), readAndExecute | QFile::WriteOwner);
        });
        const TreeState before = treeState(root + QStringLiteral("/locked"));

        const QStringList beside = runProbe(root, {QStringLiteral("beside"),
                                                   root + QStringLiteral("/locked/read-only.odt"),
                                                   root + QStringLiteral("/open/next.odt")});
        QVERIFY2(beside.size() == 2 && beside[0].startsWith(QStringLiteral("REPORT 164 "))
                     && beside[0].contains(QStringLiteral("locked/read-only.txt")),
                 qPrintable(beside.join('\n')));
        QCOMPARE(beside[1], QStringLiteral("MESSAGE Done."));
        QVERIFY(readText(root + QStringLiteral("/open/next.txt")).contains("The next one."));

        const QStringList apart = runProbe(root, {root + QStringLiteral("/out"),
                                                  root + QStringLiteral("/locked/read-only.odt"),
                                                  root + QStringLiteral("/locked/writable.odt"),
                                                  root + QStringLiteral("/open/next.odt")});
        QCOMPARE(apart.last(), QStringLiteral("MESSAGE Done."));
        QVERIFY(readText(root + QStringLiteral("/out/read-only.txt")).contains("Cannot be written."));
        QVERIFY(readText(root + QStringLiteral("/out/next.txt")).contains("The next one."));
        QCOMPARE(treeChanges(before, treeState(root + QStringLiteral("/locked"))), QStringList());

        // A document the user may write, in a folder the user may not: an office that
        // wants a lock file beside it would not load it at all.
        QVERIFY2(apart.size() == 1 && readText(root + QStringLiteral("/out/writable.txt")).contains("Can be written."),
                 qPrintable(apart.join('\n')));
    }

private:

    // the lines it printed.
    QStringList runProbe(const QString &root, const QStringList &arguments)
    {
        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), root + QStringLiteral("/home"));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), root + QStringLiteral("/home/cache"));
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        probe.setProcessEnvironment(environment);
        if (::geteuid() == 0)
            probe.start(QStringLiteral("setpriv"), QStringList{QStringLiteral("--reuid=65534"),
                                                                QStringLiteral("--regid=65534"),
                                                                QStringLiteral("--clear-groups"),
                                                                QStringLiteral(BAD_INPUT_PROBE)}
                                                       + arguments);
        else
            probe.start(QStringLiteral(BAD_INPUT_PROBE), arguments);
        if (!probe.waitForFinished(300000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
            return {QStringLiteral("PROBE FAILED ") + QString::fromLocal8Bit(probe.readAllStandardError())};
        return QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
};

TARNWICK_TEST_MAIN(TestBadTargets)
#include "test_bad_targets.moc"
