// `tarnwick --convert` on the command line: exit statuses, lists and standard
// streams, signals, help and version, all without a display.
#include "BatchProgram.h"
#include "assets/WriterDocuments.h"
#include "support/OfficeProcesses.h"

#include <QDir>
#include <QDirIterator>
#include <QSet>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestBatchCommandLine : public BatchProgramTest {
    Q_OBJECT

private slots:
    // 0 when every document converted, 1 when one failed, 2 when the run could
    // not be made: arguments refused, no office.
    void exitStatusIsZeroOneOrTwo()
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

    // Help, version and the window's refusal, all with no display.
    void helpVersionAndTheWindowsRefusalWithoutDisplay()
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

    // A list on standard input, NUL-separated, with a name holding a line break;
    // --stdout gives the bytes the text file gets and writes nothing beside. The
    // batch does it here itself (--no-service): the user's service has tests of
    // its own.
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
        const Outcome piped = run({"--stdout", "--no-service", folder + "/plain.odt"});
        QVERIFY2(piped.exitCode == 0, qPrintable(piped.errors));
        QCOMPARE(piped.output, readBytes(folder + "/plain.txt"));
        QVERIFY(piped.errors.isEmpty());
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);

        const QString report = path(QStringLiteral("stdout.jsonl"));
        QCOMPARE(run({"--stdout", "--no-service", "--report", report, folder}).exitCode, 2); // three documents
        QVERIFY(!reportSummary(report).isEmpty());
        writeTruncatedOdt(folder + "/broken.odt");
        const Outcome failed = run({"--stdout", "--no-service", folder + "/broken.odt"});
        QCOMPARE(failed.exitCode, 1);
        QVERIFY(failed.output.isEmpty());
        QVERIFY(failed.errors.contains(QStringLiteral("failed: %1/broken.odt").arg(folder)));
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
        const Outcome closed = runShell(R"(exec "$0" --convert --stdout --no-service "$1" >&-)", {folder + "/doc0.odt"});
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
};

QTEST_GUILESS_MAIN(TestBatchCommandLine)
#include "test_batch_command_line.moc"
