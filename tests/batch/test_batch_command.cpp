// `tarnwick --convert` as a user runs it: the built program, the real office, no
// display, a home of its own.
#include "assets/WriterDocuments.h"
#include "support/OfficeProcesses.h"
#include "support/ProgramEnvironment.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QString errors; // stderr
    QByteArray output; // stdout
};

// A text file's words, without the office's byte-order mark and final line break.
QString documentText(const QString &path)
{
    return readText(path).remove(QChar(0xFEFF)).trimmed();
}

// The lines of a --report file, each parsed; a line that is not whole JSON fails.
QList<QJsonObject> reportLines(const QString &file)
{
    QList<QJsonObject> lines;
    for (const QByteArray &line : readBytes(file).split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            qFatal("not a JSON object: %s", line.constData());
        lines << document.object();
    }
    return lines;
}

// The summary of a report file: its last line's, or nothing when it has none.
QJsonObject reportSummary(const QString &file)
{
    const QList<QJsonObject> lines = reportLines(file);
    return lines.isEmpty() ? QJsonObject() : lines.last()[QStringLiteral("summary")].toObject();
}

QHash<QString, QJsonObject> bySource(const QList<QJsonObject> &lines)
{
    QHash<QString, QJsonObject> found;
    for (const QJsonObject &line : lines) {
        if (line.contains(QStringLiteral("source")))
            found.insert(line[QStringLiteral("source")].toString(), line);
    }
    return found;
}

QDateTime modified(const QString &path)
{
    return QFileInfo(path).fileTime(QFileDevice::FileModificationTime);
}

} // namespace

class TestBatchCommand : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;

    // Runs `tarnwick --convert arguments` to its end; `watch` is called every 20 ms
    // with its pid.
    Outcome run(const QStringList &arguments, const std::function<void(qint64)> &watch = {},
                const QProcessEnvironment &environment = {})
    {
        return runProgram(QStringList{QStringLiteral("--convert")} + arguments, watch, environment);
    }

    Outcome runProgram(const QStringList &arguments, const std::function<void(qint64)> &watch = {},
                       const QProcessEnvironment &environment = {}, const QByteArray &input = {})
    {
        QProcess program;
        program.setProcessEnvironment(environment.isEmpty() ? m_environment : environment);
        program.start(QStringLiteral(TARNWICK_BINARY), arguments);
        if (!program.waitForStarted())
            return {};
        program.write(input);
        program.closeWriteChannel();
        QByteArray output;
        while (!program.waitForFinished(20)) {
            output += program.readAllStandardOutput();
            if (watch)
                watch(program.processId());
        }
        return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
                QString::fromUtf8(program.readAllStandardError()), output + program.readAllStandardOutput()};
    }

    // `script` run by sh with the program as $0 and `arguments` as $1...: for what
    // QProcess cannot set up (closed descriptors, bytes that are not UTF-8).
    Outcome runShell(const QString &script, const QStringList &arguments = {})
    {
        QProcess shell;
        shell.setProcessEnvironment(m_environment);
        shell.start(QStringLiteral("sh"), QStringList{"-c", script, TARNWICK_BINARY} + arguments);
        shell.waitForFinished(-1);
        return {shell.exitCode(), QString::fromUtf8(shell.readAllStandardError()), shell.readAllStandardOutput()};
    }

    // Runs the program on `arguments` and sends it `signal` once `ready` (asked
    // every 20 ms; by default once it has run for 300 ms). A program that does not
    // act on it is left running and fails the exit status.
    Outcome stopWhen(const QStringList &arguments, int signal, QProcess &program, std::function<bool()> ready = {})
    {
        program.setProcessEnvironment(m_environment);
        program.start(QStringLiteral(TARNWICK_BINARY), QStringList{"--convert"} + arguments);
        if (!ready)
            ready = [&] { return !program.waitForFinished(300); };
        while (program.state() != QProcess::NotRunning && !ready())
            program.waitForFinished(20);
        ::kill(static_cast<pid_t>(program.processId()), signal);
        const bool ended = program.waitForFinished(30000);
        return {ended ? program.exitCode() : -1, QString::fromUtf8(program.readAllStandardError()), {}};
    }

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_environment = HeadlessProgramEnvironment(path(QStringLiteral("home")));
    }

    // The user's service that a --stdout call started.
    void cleanupTestCase() { runProgram({"--serve", "--user", "--stop"}); }

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

    // --mirror keeps the tree below --out: the same name in three folders gives three
    // text files. A folder there that is a link is never written through, nor one
    // that another user made first in a shared --out (mode 1777): their documents
    // fail, and a rerun with --update finds the others up to date.
    void mirroredTree()
    {
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

    // A field shows what the office works out for it in the laid-out document, as in
    // the window's run, not the value stored in the file. A document with no text at
    // all (a picture alone) gives an empty text file, and is converted.
    void fieldsTakeTheirLaidOutValues()
    {
        const QString folder = path(QStringLiteral("fields"));
        QDir().mkpath(folder);
        writeOdtXml(folder + "/page.odt", R"(<text:p>Page <text:page-number text:select-page="current">99)"
                                          R"(</text:page-number> of the document</text:p>)");
        writeOdt(folder + "/plain.odt", {"No fields here"});
        writePictureOnlyOdt(folder + "/picture.odt");
        const Outcome outcome = run({folder});
        QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.errors));
        QVERIFY2(outcome.errors.contains("Converted 3, failed 0"), qPrintable(outcome.errors));
        QCOMPARE(documentText(folder + "/page.txt"), QStringLiteral("Page 1 of the document"));
        QCOMPARE(documentText(folder + "/plain.txt"), QStringLiteral("No fields here"));
        QCOMPARE(readBytes(folder + "/picture.txt"), QByteArray());
    }

    // Page references take the pages of their targets once the layout is finished,
    // whatever the load: the office sets them at its own pace after its first pass, so
    // a save that came first kept what the file held. Converted many times, two
    // offices at once, every copy gives the same text, and no stored value is left.
    void pageReferencesAreTheFinishedLayouts()
    {
        QByteArray body;
        for (int paragraph = 0; paragraph < 20; ++paragraph) {
            body += "<text:p>";
            for (int i = 0; i < 30; ++i)
                body += "see <text:bookmark-ref text:reference-format='page' text:ref-name='b"
                        + QByteArray::number(paragraph * 30 + i) + "'>?</text:bookmark-ref> ";
            body += "</text:p>";
        }
        for (int target = 0; target < 600; ++target)
            body += "<text:p>Target <text:bookmark text:name='b" + QByteArray::number(target)
                    + "'/> in a paragraph long enough to take two lines of the page, so that the six hundred "
                      "targets fill many pages.</text:p>";
        const QString folder = path(QStringLiteral("references"));
        QDir().mkpath(folder);
        for (int copy = 0; copy < 6; ++copy)
            writeOdtXml(folder + QStringLiteral("/copy%1.odt").arg(copy), body);
        const Outcome outcome = run({"--jobs", "2", folder});
        QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.errors));
        const QString first = documentText(folder + "/copy0.txt");
        QVERIFY2(!first.contains('?') && first.contains("see 9 "), qPrintable(first.left(400)));
        for (int copy = 1; copy < 6; ++copy)
            QCOMPARE(documentText(folder + QStringLiteral("/copy%1.txt").arg(copy)), first);
    }

    // A template is opened as the window's run opens it, as a new document made from
    // it: its fields show a new document's data (no modification date, author or file
    // name, one editing cycle), not those stored in the template, and the batch writes
    // the window's text byte for byte.
    void templatesGiveTheWindowsText()
    {
        const QString folder = path(QStringLiteral("templates")), window = path(QStringLiteral("templates-window"));
        QDir().mkpath(folder);
        QDir().mkpath(window);
        const QByteArray fields =
            R"(<text:p>Changed <text:modification-date>1998-01-01</text:modification-date> at )"
            R"(<text:modification-time>09:09:09</text:modification-time> by <text:creator>someone</text:creator>, )"
            R"(made by <text:initial-creator>someone</text:initial-creator>, file )"
            R"(<text:file-name text:display="full">a.ott</text:file-name>, edited <text:editing-cycles>5)"
            R"(</text:editing-cycles> times, <text:page-count>9</text:page-count> pages: <text:title>x</text:title>)"
            R"(</text:p>)";
        const QByteArray meta = "<meta:initial-creator>Ada Stored</meta:initial-creator><dc:creator>Bea Stored"
                                "</dc:creator><dc:title>The title</dc:title><dc:date>2002-03-04T05:06:07</dc:date>"
                                "<meta:editing-cycles>17</meta:editing-cycles>";
        QStringList windowRun;
        for (const auto &[name, format] :
             {std::pair{"form", WriterFormat::Ott}, std::pair{"old form", WriterFormat::Stw}}) {
            const QString document = folder + '/' + name + (format == WriterFormat::Ott ? ".ott" : ".stw");
            writeWriterDocumentXml(document, format, fields, meta);
            windowRun << document << window + '/' + name + ".txt";
        }
        QProcess probe;
        probe.setProcessEnvironment(m_environment);
        probe.start(QStringLiteral(CONVERT_PROBE), windowRun);
        QVERIFY(probe.waitForFinished(120000) && probe.exitCode() == 0);
        const Outcome outcome = run({folder});
        QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.errors));
        for (const QString name : {"form.txt", "old form.txt"}) {
            QCOMPARE(readBytes(folder + '/' + name), readBytes(window + '/' + name));
            QVERIFY(documentText(folder + '/' + name).endsWith("pages: The title"));
            QVERIFY(!documentText(folder + '/' + name).contains("Stored"));
        }
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
              QStringList{"--document-limit", "0", single}, QStringList{"--out", path("nowhere"), single},
              QStringList{"--frobnicate", single}, QStringList{"--mirror", single}}) {
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
        // A report file made before such a stop still ends with its summary.
        const QString report = path(QStringLiteral("no-office.jsonl"));
        const Outcome missing = run({"--report", report, single}, {}, noOffice);
        QCOMPARE(missing.exitCode, 2);
        // The office's reason, said once and before the summary.
        QVERIFY2(missing.errors.startsWith(QStringLiteral("tarnwick: LibreOffice was found at "))
                     && missing.errors.count(QStringLiteral("LibreOffice was")) == 1
                     && missing.errors.contains(QStringLiteral("\nConverted 0")),
                 qPrintable(missing.errors));
        QCOMPARE(reportSummary(report)["not-converted"].toInt(), 1);

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

    // A document that keeps its office at work for seconds converts under a
    // one-second --timeout; under a shorter --document-limit it fails at once, with
    // its own reason, and the others still convert.
    void workingOfficeIsNotHungButHasALimit()
    {
        const QString folder = path(QStringLiteral("limit"));
        QDir().mkpath(folder);
        writeMarkedOdt(folder + "/marks.odt", 10000);
        writeOdt(folder + "/small.odt", {"Small"});

        const QString report = path(QStringLiteral("limit-report.jsonl"));
        const Outcome patient = run({QStringLiteral("--timeout"), QStringLiteral("1"), QStringLiteral("--report"), report, folder});
        QVERIFY2(patient.exitCode == 0, qPrintable(patient.errors));
        QVERIFY(documentText(folder + "/marks.txt").startsWith(QStringLiteral("Marked xxx")));
        QFile::remove(folder + "/marks.txt");
        // Made longer by what this machine took for it, so that it outlasts the limit
        // on a quiet machine as on a busy one.
        const double took = bySource(reportLines(report))[folder + "/marks.odt"][QStringLiteral("seconds")].toDouble();
        QVERIFY(took > 0);
        writeMarkedOdt(folder + "/marks.odt", bookmarksToOutlast(8000, qRound64(took * 1000)));

        const Outcome limited = run({QStringLiteral("--jobs"), QStringLiteral("1"), QStringLiteral("--document-limit=1"), folder});
        QCOMPARE(limited.exitCode, 1);
        QVERIFY2(limited.errors.contains(QStringLiteral("failed: %1/marks.odt: The office could not load it: the "
                                                        "office worked on the document for longer than its limit of 1 "
                                                        "second, so it was ended.")
                                             .arg(folder)),
                 qPrintable(limited.errors));
        QVERIFY(!QFileInfo::exists(folder + "/marks.txt"));
        QCOMPARE(documentText(folder + "/small.txt"), QStringLiteral("Small"));
    }

    // A rerun with --update converts only what changed; the report names every
    // document, with the reason of a failed one, and ends with the counts.
    void updateAndReport()
    {
        const QString folder = path(QStringLiteral("update"));
        QDir().mkpath(folder);
        writeOdt(folder + "/kept.odt", {"Kept"});
        writeOdt(folder + "/touched.odt", {"Old words"});
        writeTruncatedOdt(folder + "/broken.odt");
        const QString report = path(QStringLiteral("update-report.jsonl"));
        QCOMPARE(run({QStringLiteral("--report"), report, folder}).exitCode, 1);
        QCOMPARE(reportLines(report).size(), 4);

        // Older than the documents by a minute, and then newer than its text file.
        const QDateTime before = QDateTime::currentDateTime().addSecs(-60);
        for (const char *name : {"/kept.odt", "/kept.txt", "/touched.odt", "/touched.txt"}) {
            QFile file(folder + name);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(before, QFileDevice::FileModificationTime));
        }
        writeOdt(folder + "/touched.odt", {"New words"});
        const QDateTime keptTime = modified(folder + "/kept.txt");

        const Outcome rerun = run({QStringLiteral("--update"), QStringLiteral("--report"), report, folder});
        QCOMPARE(rerun.exitCode, 1);
        QVERIFY2(rerun.errors.contains(QStringLiteral("Converted 1, failed 1, skipped 0, up to date 1")),
                 qPrintable(rerun.errors));
        QCOMPARE(modified(folder + "/kept.txt"), keptTime);
        QCOMPARE(documentText(folder + "/touched.txt"), QStringLiteral("New words"));

        const QList<QJsonObject> lines = reportLines(report);
        QCOMPARE(lines.size(), 4);
        const QHash<QString, QJsonObject> documents = bySource(lines);
        QCOMPARE(documents[folder + "/kept.odt"][QStringLiteral("status")].toString(), QStringLiteral("up-to-date"));
        const QJsonObject touched = documents[folder + "/touched.odt"];
        QCOMPARE(touched[QStringLiteral("status")].toString(), QStringLiteral("converted"));
        QCOMPARE(touched[QStringLiteral("target")].toString(), folder + "/touched.txt");
        QCOMPARE(touched[QStringLiteral("bytes")].toInteger(), QFileInfo(folder + "/touched.txt").size());
        const QJsonObject broken = documents[folder + "/broken.odt"];
        QCOMPARE(broken[QStringLiteral("status")].toString(), QStringLiteral("failed"));
        QVERIFY(!broken[QStringLiteral("reason")].toString().isEmpty());
        QVERIFY(!touched.contains(QStringLiteral("reason")));
        const QJsonObject summary = lines.last()[QStringLiteral("summary")].toObject();
        QCOMPARE(summary[QStringLiteral("converted")].toInt(), 1);
        QCOMPARE(summary[QStringLiteral("failed")].toInt(), 1);
        QCOMPARE(summary[QStringLiteral("up-to-date")].toInt(), 1);

        // Nothing left to do: no office is started at all.
        QVERIFY(QFile::remove(folder + "/broken.odt"));
        bool officeSeen = false;
        const Outcome idle = run({QStringLiteral("--update"), folder},
                                 [&](qint64 program) { officeSeen = officeSeen || !officesOf(program).isEmpty(); });
        QCOMPARE(idle.exitCode, 0);
        QVERIFY(!officeSeen);
    }

    // Files the office reads as something else than a Writer document are converted
    // but told apart: a plain text named .odt, and an empty file, whose text is empty.
    void otherTypesAreToldApart()
    {
        const QString folder = path(QStringLiteral("types"));
        QDir().mkpath(folder);
        writeOdt(folder + "/letter.odt", {"A letter"});
        writeFile(folder + "/plain.odt", "Plain words\n");
        writeFile(folder + "/empty.odt", {});
        const QString report = path(QStringLiteral("types.jsonl"));
        const Outcome outcome = run({QStringLiteral("--report"), report, folder});
        QCOMPARE(outcome.exitCode, 0);
        QVERIFY2(outcome.errors.contains(QStringLiteral("Converted 1, read as another type than Writer 2, failed 0")),
                 qPrintable(outcome.errors));
        const QHash<QString, QJsonObject> documents = bySource(reportLines(report));
        // Each line's status is the summary's count it goes into.
        QCOMPARE(documents[folder + "/letter.odt"][QStringLiteral("status")].toString(), QStringLiteral("converted"));
        for (const char *name : {"/plain.odt", "/empty.odt"})
            QCOMPARE(documents[folder + name][QStringLiteral("status")].toString(), QStringLiteral("read-as-other"));
        QVERIFY(!documents[folder + "/letter.odt"].contains(QStringLiteral("read-as")));
        QCOMPARE(documents[folder + "/plain.odt"][QStringLiteral("read-as")].toString(), QStringLiteral("generic_Text"));
        QCOMPARE(documents[folder + "/empty.odt"][QStringLiteral("read-as")].toString(), QStringLiteral("empty"));
        QCOMPARE(reportSummary(report)[QStringLiteral("read-as-other")].toInt(), 2);
        QCOMPARE(documentText(folder + "/plain.txt"), QStringLiteral("Plain words"));
        QCOMPARE(QFileInfo(folder + "/empty.txt").size(), 0);
    }

    // A list on standard input, NUL-separated, with a name holding a line break;
    // --stdout gives the bytes the text file gets and writes nothing beside.
    void filesFromAndStdout()
    {
        const QString folder = path(QStringLiteral("listed"));
        QDir().mkpath(folder);
        const QString odd = folder + QStringLiteral("/two\nlines.odt");
        writeOdt(odd, {"Odd name"});
        writeOdt(folder + "/plain.odt", {"Plain", "Zoë ünïcode"});
        writeOdt(folder + "/unlisted.odt", {"Not in the list"});
        const QByteArray list = QFile::encodeName(odd) + '\0' + QFile::encodeName(folder + "/plain.odt") + '\0';
        const Outcome listed = runProgram({"--convert", "--null", "--files-from", "-"}, {}, {}, list);
        QVERIFY2(listed.exitCode == 0, qPrintable(listed.errors));
        QCOMPARE(documentText(folder + "/two\nlines.txt"), QStringLiteral("Odd name"));
        QVERIFY(!QFileInfo::exists(folder + "/unlisted.txt"));

        const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const Outcome piped = run({QStringLiteral("--stdout"), folder + "/plain.odt"});
        QVERIFY2(piped.exitCode == 0, qPrintable(piped.errors));
        QCOMPARE(piped.output, readBytes(folder + "/plain.txt"));
        QVERIFY(piped.errors.isEmpty());
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);

        const QString report = path(QStringLiteral("stdout.jsonl"));
        QCOMPARE(run({"--stdout", "--report", report, folder}).exitCode, 2); // three documents
        QVERIFY(!reportSummary(report).isEmpty());
        writeTruncatedOdt(folder + "/broken.odt");
        const Outcome failed = run({QStringLiteral("--stdout"), folder + "/broken.odt"});
        QCOMPARE(failed.exitCode, 1);
        QVERIFY(failed.output.isEmpty());
        QVERIFY(failed.errors.contains(QStringLiteral("failed: %1/broken.odt").arg(folder)));
    }

    // Ctrl-C in the middle: no office left, no partial file, a whole report with its
    // summary, exit 130; a rerun with --update does the rest.
    void interruptedRun()
    {
        const QString folder = path(QStringLiteral("interrupted"));
        QDir().mkpath(folder);
        const int count = 60;
        for (int i = 0; i < count; ++i)
            writeOdt(folder + QStringLiteral("/doc%1.odt").arg(i, 2, 10, QLatin1Char('0')), {QStringLiteral("Text %1").arg(i)});
        const QString report = path(QStringLiteral("interrupted.jsonl"));
        QSet<qint64> offices;
        bool sent = false;
        const Outcome outcome = run({QStringLiteral("--jobs"), QStringLiteral("2"), QStringLiteral("--report"), report,
                                     folder},
                                    [&](qint64 program) {
                                        for (const qint64 office : officesOf(program))
                                            offices.insert(office);
                                        if (!sent && readBytes(report).count('\n') >= 3) {
                                            ::kill(static_cast<pid_t>(program), SIGINT);
                                            sent = true;
                                        }
                                    });
        QVERIFY(sent);
        QCOMPARE(outcome.exitCode, 130);
        QVERIFY2(outcome.errors.contains(QStringLiteral("stopped by SIGINT")), qPrintable(outcome.errors));
        QVERIFY(!offices.isEmpty());
        for (const qint64 office : offices)
            QVERIFY(!isRunning(office));
        const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left.filter(QStringLiteral(".part")), QStringList());
        const QList<QJsonObject> lines = reportLines(report);
        const QJsonObject summary = lines.last()[QStringLiteral("summary")].toObject();
        QCOMPARE(summary[QStringLiteral("stopped-by")].toString(), QStringLiteral("SIGINT"));
        const int converted = summary[QStringLiteral("converted")].toInt();
        QVERIFY(converted >= 3 && converted < count);
        QCOMPARE(lines.size(), converted + 1);
        QCOMPARE(summary[QStringLiteral("not-converted")].toInt(), count - converted);
        // A document stopped between its save and its close has its whole text.
        QVERIFY(left.filter(QStringLiteral(".txt")).size() >= converted);
        QVERIFY(left.filter(QStringLiteral(".txt")).size() <= converted + 2);

        const Outcome rest = run({QStringLiteral("--update"), folder});
        QVERIFY2(rest.exitCode == 0 && rest.errors.contains(QStringLiteral(", up to date ")), qPrintable(rest.errors));
        for (int i = 0; i < count; ++i)
            QCOMPARE(documentText(folder + QStringLiteral("/doc%1.txt").arg(i, 2, 10, QLatin1Char('0'))),
                     QStringLiteral("Text %1").arg(i));
    }

    // The report goes nowhere it could do harm: not through a link, not onto
    // another's file, a file with other names, a device or a file of the batch.
    // Each refusal comes before anything is read or written. A report that could
    // not be written whole makes the run fail.
    void reportIsGuarded()
    {
        const QString folder = path(QStringLiteral("guarded"));
        QDir().mkpath(folder + "/out");
        writeOdt(folder + "/self.odt", {"Self"});
        const QByteArray document = readBytes(folder + "/self.odt");
        const QString victim = writeFile(folder + "/victim", "precious");
        const QString other = writeFile(folder + "/other.jsonl", "theirs");
        writeFile(folder + "/list", QFile::encodeName(folder + "/self.odt"));
        QVERIFY(QFile::link(victim, folder + "/link.jsonl"));
        QCOMPARE(::link(QFile::encodeName(victim).constData(), QFile::encodeName(folder + "/hard.jsonl").constData()),
                 0);
        QCOMPARE(::chown(QFile::encodeName(other).constData(), 65534, 65534) == 0, ::geteuid() == 0); // another's
        for (const QStringList &arguments :
             {QStringList{"--report", folder + "/link.jsonl", folder + "/self.odt"},
              QStringList{"--report", folder + "/hard.jsonl", folder + "/self.odt"},
              QStringList{"--report", ::geteuid() == 0 ? other : "/dev/null", folder + "/self.odt"},
              QStringList{"--report", folder + "/self.odt", folder},
              QStringList{"--report", folder + "/out/../out/self.txt", "--out", folder + "/out", folder + "/self.odt"},
              QStringList{"--report", folder + "/list", "--files-from", folder + "/list"}}) {
            const Outcome refused = run(arguments);
            QVERIFY2(refused.exitCode == 2 && !refused.errors.contains("Converted"), qPrintable(refused.errors));
        }
        QCOMPARE(readBytes(victim), QByteArray("precious"));
        QCOMPARE(readBytes(folder + "/self.odt"), document);
        QCOMPARE(readBytes(folder + "/list"), QFile::encodeName(folder + "/self.odt"));

        // A reader that goes away after the first line; a full disk.
        writeOdt(folder + "/second.odt", {"Second"});
        const Outcome cut = runShell(R"(("$0" --convert --report - "$1"; echo $? >"$2") | head -c 1 >/dev/null)",
                                     {folder, folder + "/status"});
        QCOMPARE(readBytes(folder + "/status"), QByteArray("1\n"));
        QVERIFY2(cut.errors.contains("the report on standard output is incomplete"), qPrintable(cut.errors));
        const QString small = path(QStringLiteral("small-disk"));
        QDir().mkpath(small);
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=4k", "tmpfs", small}) != 0)
            QSKIP("no tmpfs can be mounted here for a full disk");
        const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {small}); });
        writeFile(small + "/filler", QByteArray(4096, 'x'));
        const Outcome full = run({"--report", small + "/r.jsonl", folder + "/self.odt", folder + "/second.odt"});
        QVERIFY2(full.exitCode == 1 && full.errors.contains("is incomplete: "), qPrintable(full.errors));
    }

    // One signal ends the run wherever it waits: for a FIFO's reader, on a list that
    // does not end, on a reader of the text that does not read; the private folder
    // of --stdout goes with it.
    void oneSignalStopsEveryWait()
    {
        const QString folder = path(QStringLiteral("waiting"));
        QDir().mkpath(folder + "/tmp");
        QStringList paragraphs;
        for (int i = 0; i < 3000; ++i)
            paragraphs << QStringLiteral("Paragraph %1 of a text longer than a pipe holds.").arg(i);
        writeOdt(folder + "/long.odt", paragraphs);
        QCOMPARE(::mkfifo(QFile::encodeName(folder + "/fifo").constData(), 0600), 0);
        QProcess forReader, onList, onText, sleeper; // sleeper holds the pipe open and reads nothing
        QCOMPARE(stopWhen({"--report", folder + "/fifo", folder}, SIGTERM, forReader).exitCode, 128 + SIGTERM);
        QCOMPARE(stopWhen({"--files-from", "-"}, SIGINT, onList).exitCode, 128 + SIGINT);
        onText.setStandardOutputProcess(&sleeper);
        sleeper.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        m_environment.insert(QStringLiteral("TMPDIR"), folder + "/tmp");
        const Outcome blocked = stopWhen({"--stdout", "--no-service", folder + "/long.odt"}, SIGHUP, onText, [&] {
            return QDirIterator(folder + "/tmp", {"long.txt"}, QDir::Files, QDirIterator::Subdirectories).hasNext();
        });
        m_environment.remove(QStringLiteral("TMPDIR"));
        sleeper.kill();
        sleeper.waitForFinished();
        QCOMPARE(blocked.exitCode, 128 + SIGHUP);
        QCOMPARE(QDir(folder + "/tmp").entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }

    // What takes a shell to set up: closed descriptors at start, which take nothing
    // of the program's; standard output that fails; names that are not UTF-8, named
    // by their bytes wherever they were given.
    void standardStreamsAndNames()
    {
        const QString folder = path(QStringLiteral("streams"));
        QDir().mkpath(folder);
        for (int i = 0; i < 3; ++i)
            writeOdt(folder + QStringLiteral("/doc%1.odt").arg(i), {QStringLiteral("Document %1").arg(i)});
        runShell(R"(exec "$0" --convert --report "$1" "$2" <&- >&- 2>&-)", {folder + "/r.jsonl", folder});
        QCOMPARE(reportSummary(folder + "/r.jsonl")["converted"].toInt(), 3);
        const Outcome closed = runShell(R"(exec "$0" --convert --stdout "$1" >&-)", {folder + "/doc0.odt"});
        QVERIFY2(closed.exitCode == 1 && closed.errors.contains("standard output is closed"),
                 qPrintable(closed.errors));
        for (const char *option : {"--help", "--version"})
            QCOMPARE(runShell(QStringLiteral(R"(exec "$0" %1 >/dev/full)").arg(option)).exitCode, 1);

        writeFile(folder + "/list", QFile::encodeName(folder) + "/caf\xe9.odt\n");
        ::close(::open((QFile::encodeName(folder) + "/caf\xe9.odt").constData(), O_WRONLY | O_CREAT, 0644));
        const Outcome named = runShell(
            R"sh(cd "$1" && exec "$0" --convert --report r.jsonl --files-from list "$(printf 'caf\351.odt')")sh",
            {folder});
        const QString reason = QStringLiteral("caf\\351.odt: its path is not valid UTF-8");
        QVERIFY2(named.exitCode == 1 && named.errors.contains("failed: " + reason)
                     && named.errors.contains("streams/" + reason),
                 qPrintable(named.errors));
        const QList<QJsonObject> lines = reportLines(folder + "/r.jsonl");
        QVERIFY(lines.size() == 3 && lines[0]["escaped"].toBool() && lines[1]["escaped"].toBool());
    }

    // The office's single-instance pipe cannot be taken beforehand: a file under the
    // name a profile folder alone would give it stops nothing.
    void squattedPipeNamesStopNothing()
    {
        const QString folder = path(QStringLiteral("squatted"));
        QDir().mkpath(folder);
        writeOdt(folder + "/one.odt", {"One"});
        QCOMPARE(run({folder}).exitCode, 0); // the profiles are made
        const QString profiles = path(QStringLiteral("home/cache/tarnwick/"));
        QStringList squatted;
        for (const QString &profile : QDir(profiles).entryList({"batch-office-profile*"}, QDir::Dirs)) {
            const QString url = QUrl::fromLocalFile(profiles + profile).toString();
            const QByteArray utf16(reinterpret_cast<const char *>(url.utf16()), url.size() * 2);
            QString hash; // as the office writes it: no leading zeros
            for (const char byte : QCryptographicHash::hash(utf16, QCryptographicHash::Md5))
                hash += QString::number(uchar(byte), 16);
            squatted << writeFile(QStringLiteral("/tmp/OSL_PIPE_%1_SingleOfficeIPC_%2").arg(::getuid()).arg(hash), "");
        }
        QVERIFY(!squatted.isEmpty());
        const Outcome outcome = run({folder});
        for (const QString &file : squatted)
            QFile::remove(file);
        QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.errors));
        QCOMPARE(documentText(folder + "/one.txt"), QStringLiteral("One"));
    }

    // A document edited while it is converted is converted again by --update; the
    // hidden partial files a killed run left are removed, not those of a live
    // writer nor links.
    void rerunAfterEditAndKill()
    {
        const QString folder = path(QStringLiteral("rerun"));
        QDir().mkpath(folder);
        QStringList paragraphs;
        for (int i = 0; i < 20000; ++i)
            paragraphs << QStringLiteral("Paragraph %1 as first written.").arg(i);
        writeOdt(folder + "/long.odt", paragraphs);
        QFile stale(writeFile(folder + "/.tarnwick-0123456789abcdef.part"));
        QFile live(writeFile(folder + "/.tarnwick-1123456789abcdef.part"));
        for (QFile *part : {&stale, &live})
            QVERIFY(part->open(QIODevice::ReadWrite)
                    && part->setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        QVERIFY(::flock(live.handle(), LOCK_EX) == 0
                && QFile::link(live.fileName(), folder + "/.tarnwick-2123456789abcdef.part"));

        bool edited = false;
        const Outcome first = run({"--jobs", "1", folder}, [&](qint64 program) {
            for (const qint64 office : officesOf(program)) {
                if (!edited && OpenFilesOf(office).contains(folder + "/long.odt")) {
                    writeOdt(folder + "/edited.odt", {"Edited meanwhile"});
                    edited = ::rename(QFile::encodeName(folder + "/edited.odt").constData(),
                                      QFile::encodeName(folder + "/long.odt").constData())
                             == 0;
                }
            }
        });
        QVERIFY2(edited && first.exitCode == 0, qPrintable(first.errors));
        const Outcome second = run({"--update", folder});
        QVERIFY2(second.exitCode == 0 && second.errors.contains("Converted 1,"), qPrintable(second.errors));
        QCOMPARE(documentText(folder + "/long.txt"), QStringLiteral("Edited meanwhile"));
        QVERIFY((first.errors + second.errors).contains("removed 1 hidden partial text file "));
        QVERIFY(!stale.exists() && live.exists() && QFileInfo(folder + "/.tarnwick-2123456789abcdef.part").isSymLink());
    }

    // Help, version and the window's refusal, all with no display.
    void withoutDisplay()
    {
        const Outcome help = runProgram({QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        for (const char *option : {"--convert", "--update", "--report", "--files-from", "--stdout", "--version"})
            QVERIFY2(help.output.contains(option), option);
        QCOMPARE(runProgram({QStringLiteral("-h")}).output, help.output);

        const Outcome version = runProgram({QStringLiteral("-V")});
        QCOMPARE(version.exitCode, 0);
        QVERIFY2(version.output.startsWith("tarnwick 1."), version.output.constData());
        QVERIFY2(version.output.contains("\nLibreOffice "), version.output.constData());

        QProcessEnvironment unreachable = m_environment;
        unreachable.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
        for (const QProcessEnvironment &environment : {m_environment, unreachable}) {
            const Outcome window = runProgram({}, {}, environment);
            QCOMPARE(window.exitCode, 2);
            QCOMPARE(window.errors.count('\n'), 1);
            QVERIFY2(window.errors.contains(QStringLiteral("tarnwick --convert")), qPrintable(window.errors));
        }
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

    // Under umask 000, in a home without ~/.cache, all the program makes there is
    // private. A folder of its own that another user could have swapped for a link
    // or written in is refused before any office starts, and what it leads to is
    // left as it was.
    void cacheIsPrivateAndGuarded()
    {
        const QString folder = path(QStringLiteral("private"));
        QDir().mkpath(folder);
        writeOdt(folder + "/one.odt", {"One"});
        const QString home = path(QStringLiteral("bare-home"));
        QDir().mkpath(home);
        QProcessEnvironment environment = m_environment;
        environment.insert(QStringLiteral("HOME"), home);
        for (const char *name : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            environment.remove(QLatin1String(name));
        const mode_t umask = ::umask(0);
        const Outcome first = run({folder}, {}, environment);
        ::umask(umask);
        QVERIFY2(first.exitCode == 0, qPrintable(first.errors));
        const auto modeOf = [](const QString &entry) {
            struct stat info {};
            return ::lstat(QFile::encodeName(entry).constData(), &info) == 0 ? info.st_mode & 07777 : 07777;
        };
        QStringList made;
        QDirIterator every(home, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDirIterator::Subdirectories);
        while (every.hasNext()) {
            const QString entry = every.next();
            made << entry;
            QVERIFY2((modeOf(entry) & 077) == 0, qPrintable(entry));
        }
        QVERIFY2(made.size() > 10, qPrintable(made.join(' ')));
        QCOMPARE(modeOf(home + "/.cache"), mode_t(0700));

        const QString cache = home + "/.cache/tarnwick";
        const QString temporary = cache + "/batch-office-profile-temp";
        const QString documents = home + "/Documents";
        writeFile(documents + "/letter.odt");
        // Emptying the folder removes a link in it, not what the link leads to.
        QVERIFY(QFile::link(documents, temporary + "/lu1.tmp"));
        QCOMPARE(run({folder}, {}, environment).exitCode, 0);
        QVERIFY(!QFileInfo(temporary + "/lu1.tmp").isSymLink());
        QCOMPARE(QDir(documents).entryList(QDir::Files), QStringList{"letter.odt"});
        // A report file of a refused run is either not made or ends with its summary.
        const QString reportFile = path(QStringLiteral("refused-report.jsonl"));
        const auto refusedWith = [&](const QString &reason) {
            const Outcome outcome = run({"--report", reportFile, folder}, {}, environment);
            QVERIFY2(outcome.exitCode == 2 && outcome.errors.contains("tarnwick: " + reason), qPrintable(outcome.errors));
            QVERIFY(!QFile::exists(reportFile) || !reportSummary(reportFile).isEmpty());
            QFile::remove(reportFile);
            QCOMPARE(QDir(documents).entryList(QDir::Files), QStringList{"letter.odt"});
            QCOMPARE(modeOf(documents), mode_t(0755));
        };
        QVERIFY(QDir(temporary).removeRecursively());
        QVERIFY(QFile::link(documents, temporary));
        refusedWith(temporary + " is a link");
        QVERIFY(QFile::remove(temporary));
        QCOMPARE(::chmod(QFile::encodeName(cache).constData(), 0777), 0);
        refusedWith("Others may write in " + cache);
        QCOMPARE(::chmod(QFile::encodeName(cache).constData(), 0700), 0);
        if (::geteuid() == 0) {
            QCOMPARE(::mkdir(QFile::encodeName(temporary).constData(), 0700), 0);
            QCOMPARE(::chown(QFile::encodeName(temporary).constData(), 65534, 65534), 0);
            refusedWith(temporary + " belongs to another user");
        } else {
            qInfo("not root: a folder of another user's is not tried");
        }
    }
};

QTEST_GUILESS_MAIN(TestBatchCommand)
#include "test_batch_command.moc"
