// The offices of `tarnwick --convert`: started again when they die, limited when
// they work too long, one per job, on profiles in a private cache.
#include "BatchProgram.h"
#include "assets/WriterDocuments.h"
#include "support/OfficeProcesses.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QSet>
#include <QUrl>
#include <sys/stat.h>

class TestBatchOffices : public BatchProgramTest {
    Q_OBJECT

private slots:
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
                    && OpenFilesOf(program).contains(folder + "/long.odt")) {
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

    void twoJobsRunTwoOffices()
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

QTEST_GUILESS_MAIN(TestBatchOffices)
#include "test_batch_offices.moc"
