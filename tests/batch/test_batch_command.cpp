// `tarnwick --convert` as a user runs it: the built program, the real office, no
// display, a home of its own.
#include "assets/WriterDocuments.h"
#include "support/TestFiles.h"
#include "util/ProcessInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QString errors; // stderr
};

// A text file's words, without the office's byte-order mark and final line break.
QString documentText(const QString &path)
{
    return readText(path).remove(QChar(0xFEFF)).trimmed();
}

// soffice.bin processes whose parent is `parent`.
QList<qint64> officesOf(qint64 parent)
{
    QList<qint64> offices;
    for (const qint64 pid : ProcessIds()) {
        const std::optional<ProcessStatus> status = ReadProcessStatus(pid);
        if (status && status->name == "soffice.bin" && status->parent == parent)
            offices << pid;
    }
    return offices;
}

} // namespace

class TestBatchCommand : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;

    // Runs the program to its end; `watch` is called every 20 ms with its pid.
    Outcome run(const QStringList &arguments, const std::function<void(qint64)> &watch = {},
                const QProcessEnvironment &environment = {})
    {
        QProcess program;
        program.setProcessEnvironment(environment.isEmpty() ? m_environment : environment);
        program.start(QStringLiteral(TARNWICK_BINARY), QStringList{QStringLiteral("--convert")} + arguments);
        if (!program.waitForStarted())
            return {};
        while (!program.waitForFinished(20)) {
            if (watch)
                watch(program.processId());
        }
        return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
                QString::fromUtf8(program.readAllStandardError())};
    }

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // No display at all: the batch must not need one.
        m_environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            m_environment.remove(QLatin1String(name));
        const QString home = path(QStringLiteral("home"));
        m_environment.insert(QStringLiteral("HOME"), home);
        for (const QString sub : {"cache", "config", "data"})
            m_environment.insert(QStringLiteral("XDG_%1_HOME").arg(sub.toUpper()), home + '/' + sub);
    }

    // A folder tree as people have them: what is converted, what is left out, what
    // fails, beside the documents and into one folder.
    void treeBesideAndIntoFolder()
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
    }

    // A field shows what the office works out for it in the laid-out document, as in
    // the window's run, not the value stored in the file.
    void fieldsTakeTheirLaidOutValues()
    {
        const QString folder = path(QStringLiteral("fields"));
        QDir().mkpath(folder);
        writeOdtXml(folder + "/page.odt", R"(<text:p>Page <text:page-number text:select-page="current">99)"
                                          R"(</text:page-number> of the document</text:p>)");
        writeOdt(folder + "/plain.odt", {"No fields here"});
        const Outcome outcome = run({folder});
        QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.errors));
        QCOMPARE(documentText(folder + "/page.txt"), QStringLiteral("Page 1 of the document"));
        QCOMPARE(documentText(folder + "/plain.txt"), QStringLiteral("No fields here"));
    }

    void exitStatuses()
    {
        const QString single = path(QStringLiteral("single"));
        QDir().mkpath(single);
        writeOdt(single + "/one.odt", {"One"});
        QCOMPARE(run({single}).exitCode, 0);
        QCOMPARE(documentText(single + "/one.txt"), QStringLiteral("One"));

        // A document is never written over: here its own text file name is itself.
        QCOMPARE(run({QStringLiteral("--ext"), QStringLiteral("txt"), single}).exitCode, 1);
        QCOMPARE(documentText(single + "/one.txt"), QStringLiteral("One"));

        for (const QStringList &bad :
             {QStringList{}, QStringList{"--jobs", "0", single}, QStringList{"--jobs= 2", single},
              QStringList{"--jobs", "2 ", single}, QStringList{"--timeout", "+30", single},
              QStringList{"--out", path("nowhere"), single}, QStringList{"--frobnicate", single}}) {
            const Outcome outcome = run(bad);
            QCOMPARE(outcome.exitCode, 2);
            QVERIFY(outcome.errors.startsWith(QStringLiteral("tarnwick: ")));
        }

        // A soffice on PATH that is no LibreOffice; then one that looks like it but
        // whose office cannot start.
        const QString fake = path(QStringLiteral("fake-office"));
        const auto writeProgram = [](const QString &file) {
            writeFile(file, "#!/bin/sh\nexit 1\n");
            QFile(file).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        };
        writeProgram(fake + "/soffice");
        QProcessEnvironment noOffice = m_environment;
        noOffice.insert(QStringLiteral("PATH"), fake + ":" + m_environment.value(QStringLiteral("PATH")));
        const Outcome missing = run({single}, {}, noOffice);
        QCOMPARE(missing.exitCode, 2);
        QVERIFY2(missing.errors.contains(QStringLiteral("LibreOffice")), qPrintable(missing.errors));

        writeProgram(fake + "/soffice.bin");
        writeFile(fake + "/fundamentalrc", "[Bootstrap]\n");
        const Outcome deadOffice = run({single}, {}, noOffice);
        QCOMPARE(deadOffice.exitCode, 2);
        QVERIFY2(deadOffice.errors.contains(QStringLiteral("the office could not be started")),
                 qPrintable(deadOffice.errors));
    }

    // Offices that die under a document: the document is tried on a fresh office;
    // one that ends its office twice fails alone, everything else is converted.
    void officeKilledMidBatch()
    {
        const QString folder = path(QStringLiteral("killed"));
        QDir().mkpath(folder);
        QStringList paragraphs;
        for (int i = 0; i < 20000; ++i)
            paragraphs << QStringLiteral("Paragraph %1 of a long document that takes the office a while.").arg(i);
        writeOdt(folder + "/long.odt", paragraphs); // the largest: converted first
        for (int i = 0; i < 6; ++i)
            writeOdt(folder + QStringLiteral("/small%1.odt").arg(i), {QStringLiteral("Small %1").arg(i)});

        QSet<qint64> killed;
        int kills = 2;
        const auto killWhileLoading = [&](qint64 program) {
            for (const qint64 office : officesOf(program)) {
                if (killed.size() < kills && !killed.contains(office)
                    && OpenFilesOf(office).contains(folder + "/long.odt")) {
                    ::kill(static_cast<pid_t>(office), SIGKILL);
                    killed.insert(office);
                }
            }
        };
        const Outcome outcome = run({QStringLiteral("--jobs"), QStringLiteral("1"), folder}, killWhileLoading);
        QCOMPARE(killed.size(), 2);
        QCOMPARE(outcome.exitCode, 1);
        QVERIFY2(outcome.errors.contains(QStringLiteral("failed: %1/long.odt: the office ended twice").arg(folder)),
                 qPrintable(outcome.errors));
        QVERIFY(!QFileInfo::exists(folder + "/long.txt"));
        for (int i = 0; i < 6; ++i)
            QCOMPARE(documentText(folder + QStringLiteral("/small%1.txt").arg(i)), QStringLiteral("Small %1").arg(i));

        // Killed once, the document converts on the next office.
        killed.clear();
        kills = 1;
        QCOMPARE(run({QStringLiteral("--jobs"), QStringLiteral("1"), folder + "/long.odt"}, killWhileLoading).exitCode,
                 0);
        QCOMPARE(killed.size(), 1);
        QVERIFY(documentText(folder + "/long.txt").endsWith(QStringLiteral("Paragraph 19999 of a long document that "
                                                                       "takes the office a while.")));
    }

    void twoJobsBothUsed()
    {
        const QString folder = path(QStringLiteral("two"));
        QDir().mkpath(folder);
        for (int i = 0; i < 8; ++i)
            writeOdt(folder + QStringLiteral("/doc%1.odt").arg(i), {QStringLiteral("Document %1").arg(i)});
        qsizetype mostAtOnce = 0;
        const Outcome outcome = run({QStringLiteral("--jobs"), QStringLiteral("2"), folder},
                                    [&](qint64 program) { mostAtOnce = std::max(mostAtOnce, officesOf(program).size()); });
        QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.errors));
        QCOMPARE(mostAtOnce, qsizetype(2));
        for (int i = 0; i < 8; ++i)
            QCOMPARE(documentText(folder + QStringLiteral("/doc%1.txt").arg(i)), QStringLiteral("Document %1").arg(i));
    }
};

QTEST_GUILESS_MAIN(TestBatchCommand)
#include "test_batch_command.moc"
