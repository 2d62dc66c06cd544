// Reruns of `tarnwick --convert` and its report file: --update converts what
// changed, the report is whole and goes nowhere it could do harm.
#include "BatchProgram.h"
#include "support/RootOnly.h"
#include "assets/WriterDocuments.h"
#include "support/OfficeProcesses.h"

#include <QDir>
#include <QScopeGuard>
#include <sys/file.h>
#include <unistd.h>

class TestBatchUpdateAndReport : public BatchProgramTest {
    Q_OBJECT

private slots:
    // A rerun with --update converts only what changed; the report names every
    // document, with the reason of a failed one, and ends with the counts.
    void updateConvertsWhatChangedAndTheReportNamesEach()
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
        SKIP_UNLESS_ROOT("to mount a full disk");
        const QString small = path(QStringLiteral("small-disk"));
        const SmallDisk disk(small, "size=4k");
        if (!disk.mounted())
            QSKIP("no tmpfs can be mounted here for a full disk");
        writeFile(small + "/filler", QByteArray(4096, 'x'));
        const Outcome full = run({"--report", small + "/r.jsonl", folder + "/self.odt", folder + "/second.odt"});
        QVERIFY2(full.exitCode == 1 && full.errors.contains("is incomplete: "), qPrintable(full.errors));
    }

    // The hidden partial files a stopped run left beside the text files are removed
    // by the next run, not those of a live writer (which holds its lock) nor links.
    void partialFilesOfStoppedRunsAreRemoved()
    {
        const QString folder = path(QStringLiteral("partial"));
        QDir().mkpath(folder);
        writeOdt(folder + "/one.odt", {"One"});
        QFile stale(writeFile(folder + "/.tarnwick-0123456789abcdef.part"));
        QFile live(writeFile(folder + "/.tarnwick-1123456789abcdef.part"));
        for (QFile *part : {&stale, &live})
            QVERIFY(part->open(QIODevice::ReadWrite)
                    && part->setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        QVERIFY(::flock(live.handle(), LOCK_EX) == 0
                && QFile::link(live.fileName(), folder + "/.tarnwick-2123456789abcdef.part"));

        const Outcome outcome = run({folder});
        QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.errors));
        QCOMPARE(documentText(folder + "/one.txt"), QStringLiteral("One"));
        QVERIFY2(outcome.errors.contains("removed 1 hidden partial text file "), qPrintable(outcome.errors));
        QVERIFY(!stale.exists() && live.exists() && QFileInfo(folder + "/.tarnwick-2123456789abcdef.part").isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestBatchUpdateAndReport)
#include "test_batch_update_and_report.moc"
