// A real office that hangs, dies, never starts, or is one of several: the program
// must get its answer (or a clear error) in bounded time, start a fresh office,
// and leave no office behind.
#include "OfficeTestSupport.h"
#include "assets/WriterDocuments.h"
#include "convert/office/UnoOfficeBridge.h"
#include "support/RootOnly.h"
#include "util/ProcessInfo.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList commandLineOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList arguments;
    for (const QByteArray &argument : file.readAll().split('\0'))
        arguments << QString::fromLocal8Bit(argument);
    return arguments;
}

// Inodes of the sockets a process has open.
QSet<QString> socketInodesOf(qint64 pid)
{
    QSet<QString> inodes;
    static const QRegularExpression socket(QStringLiteral("^socket:\\[(\\d+)\\]$"));
    for (const QString &target : OpenFilesOf(pid)) {
        const auto match = socket.match(target.section('/', -1));
        if (match.hasMatch())
            inodes << match.captured(1);
    }
    return inodes;
}

// TCP sockets in the listening state, by inode, from /proc/<pid>/net/tcp{,6}.
QSet<QString> listeningTcpInodes(qint64 pid)
{
    QSet<QString> inodes;
    for (const char *table : {"tcp", "tcp6"}) {
        QFile file(QStringLiteral("/proc/%1/net/%2").arg(pid).arg(QLatin1String(table)));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        file.readLine(); // header
        while (!file.atEnd()) {
            const QStringList fields = QString::fromLatin1(file.readLine()).simplified().split(' ');
            if (fields.size() > 9 && fields[3] == QLatin1String("0A"))
                inodes << fields[9];
        }
    }
    return inodes;
}

// A program folder whose soffice.bin is the given shell script.
QString fakeOfficeFolder(const QString &folder, const QByteArray &script)
{
    QDir().mkpath(folder);
    for (const char *name : {"soffice", "soffice.bin"}) {
        QFile file(QDir(folder).filePath(QLatin1String(name)));
        file.open(QIODevice::WriteOnly);
        file.write("#!/bin/sh\n" + script + "\n");
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QFile(QDir(folder).filePath("fundamentalrc")).open(QIODevice::WriteOnly);
    return folder;
}

} // namespace

class TestOfficeFailures : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QString document(const QString &name, const QString &text)
    {
        writeOdt(path(name + ".odt"), {text});
        return path(name + ".odt");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Starts the UNO runtime from the real office; the fake offices below
        // reuse it.
        UnoOfficeBridge office;
        OFFICE_STEP(convertDocument(office, document("first", "First"), path("first.txt")));
        QVERIFY(readUtf8(path("first.txt")).contains("First"));
    }

    void hungOfficeIsEndedAndTheNextFileConverts()
    {
        UnoOfficeOptions options = UnoOfficeOptions::defaults();
        options.callTimeoutMs = 3000;
        UnoOfficeBridge office(options);
        OFFICE_STEP(convertDocument(office, document("before-hang", "Before"), path("before-hang.txt")));
        const qint64 hung = office.officeProcessId();
        OfficeRef desktop;
        OFFICE_STEP(desktop = office.createInstance(office.createServiceManager(), OfficeService::Desktop));

        // A stopped office never answers: the load would wait for ever.
        QCOMPARE(::kill(static_cast<pid_t>(hung), SIGSTOP), 0);
        QElapsedTimer callClock;
        callClock.start();
        qint64 handledAfter = -1;
        QMetaObject::invokeMethod(this, [&] { handledAfter = callClock.elapsed(); }, Qt::QueuedConnection);
        VERIFY_APP_ERROR(office.loadComponentFromURL(desktop, FileUrlOf(document("hung", "Hung")), FrameTarget::NewFrame, 0),
                         "did not answer within 3 seconds");
        QTRY_VERIFY(processIsGone(hung) || office.officeProcessId() != hung);

        // The calling thread handled its events all along: an event queued before the
        // call was handled at once, not when the watchdog ended the office.
        QVERIFY2(handledAfter >= 0 && handledAfter < 1000, qPrintable(QString::number(handledAfter)));
        QVERIFY(callClock.elapsed() > 2500);

        OFFICE_STEP(convertDocument(office, document("after-hang", "After the hang"), path("after-hang.txt")));
        QVERIFY(readUtf8(path("after-hang.txt")).contains("After the hang"));
        QVERIFY(!QFile::exists(path("hung.txt")));

        // Nor does a stopped office hold up the program's end.
        const qint64 second = office.officeProcessId();
        QVERIFY(second > 0 && second != hung);
        QCOMPARE(::kill(static_cast<pid_t>(second), SIGSTOP), 0);
        office.shutdown();
        QCOMPARE(office.officeProcessId(), 0);
        QVERIFY(processIsGone(second));
    }

    // A document that keeps the office at work for seconds (every bookmark makes
    // the import move all the others): never hung under a one-second bound, but
    // ended under a short limit, which ends the document alone.
    void workingOfficeIsLeftToWorkUntilTheDocumentLimit()
    {
        writeMarkedOdt(path("marks.odt"), 10000);

        UnoOfficeOptions options = UnoOfficeOptions::defaults();
        options.callTimeoutMs = 1000;
        UnoOfficeBridge office(options);
        OFFICE_STEP(office.createServiceManager());
        QElapsedTimer took;
        took.start();
        OFFICE_STEP(convertDocument(office, path("marks.odt"), path("marks.txt")));
        QVERIFY(readUtf8(path("marks.txt")).startsWith("Marked xxx"));

        // Sized from what the first one took, so that it outlasts the limit on a
        // quiet machine as on a busy one.
        options.documentLimitMs = 2000;
        writeMarkedOdt(path("many-marks.odt"), bookmarksToOutlast(4 * options.documentLimitMs, took.elapsed()));
        UnoOfficeBridge limited(options);
        OFFICE_STEP(limited.createServiceManager());
        const qint64 ranAway = limited.officeProcessId();
        VERIFY_APP_ERROR(convertDocument(limited, path("many-marks.odt"), path("limited.txt")),
                         "many-marks.odt: the office worked on the document for longer than its limit of 2 seconds, "
                         "so it was ended.");
        QTRY_VERIFY(processIsGone(ranAway));
        QVERIFY(!QFile::exists(path("limited.txt")));
        OFFICE_STEP(convertDocument(limited, document("after-limit", "After the limit"), path("after-limit.txt")));
        QVERIFY(readUtf8(path("after-limit.txt")).contains("After the limit"));
    }

    void officeThatCannotStartGivesAClearError_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("error");
        QTest::newRow("never answers") << QByteArray("echo $$ > \"$0.pid\"\nexec sleep 600")
                                       << "did not answer within 2 seconds";
        QTest::newRow("exits at once") << QByteArray("echo $$ > \"$0.pid\"\nexit 3")
                                       << "stopped while starting, with exit code 3";
    }

    void officeThatCannotStartGivesAClearError()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, error);
        // The script writes beside itself, which a confined office may not.
        qputenv("TARNWICK_TEST_NO_CONFINEMENT", "1");
        const auto confinedAgain = qScopeGuard([] { qunsetenv("TARNWICK_TEST_NO_CONFINEMENT"); });
        UnoOfficeOptions options = UnoOfficeOptions::defaults();
        options.officeSearchPath = {fakeOfficeFolder(path(QTest::currentDataTag()), script)};
        options.startTimeoutMs = 2000;
        UnoOfficeBridge office(options);
        VERIFY_APP_ERROR(office.createServiceManager(), error);
        QCOMPARE(office.officeProcessId(), 0);
        QFile pidFile(QDir(options.officeSearchPath[0]).filePath("soffice.bin.pid"));
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        QVERIFY(processIsGone(pidFile.readAll().trimmed().toLongLong()));
        // Asked again, it tries again rather than keeping a broken state.
        VERIFY_APP_ERROR(office.createServiceManager(), error);
    }

    void officeIsReachableOnlyByThisUser()
    {
        UnoOfficeBridge office;
        OFFICE_STEP(office.createServiceManager());
        const qint64 pid = office.officeProcessId();

        const QFileInfo profile(QDir(qEnvironmentVariable("XDG_CACHE_HOME")).filePath("tarnwick/office-profile"));
        QVERIFY(profile.isDir());
        QCOMPARE(profile.permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        // Listens on a pipe, whose socket only this user may use...
        const QStringList accept = commandLineOf(pid).filter(QRegularExpression("^--accept="));
        QCOMPARE(accept.size(), 1);
        QVERIFY2(accept[0].startsWith("--accept=pipe,name="), qPrintable(accept[0]));
        const QString pipe = accept[0].section("name=", 1).section(';', 0, 0);
        const QString socket = QStringLiteral("/tmp/OSL_PIPE_%1_%2").arg(::getuid()).arg(pipe);
        struct stat info {};
        QCOMPARE(::lstat(QFile::encodeName(socket), &info), 0);
        QVERIFY(S_ISSOCK(info.st_mode));
        QCOMPARE(info.st_uid, ::getuid());
        // ...in a folder of its own that nobody else may enter.
        const QString folder = QFileInfo(socket).absolutePath();
        QVERIFY2(folder.startsWith("/tmp/OSL_PIPE_"), qPrintable(socket));
        QCOMPARE(::lstat(QFile::encodeName(folder), &info), 0);
        QVERIFY(S_ISDIR(info.st_mode));
        QCOMPARE(info.st_uid, ::getuid());
        QCOMPARE(info.st_mode & 077, 0u);

        // ...and on no TCP port at all.
        const QSet<QString> sockets = socketInodesOf(pid);
        QVERIFY(!sockets.isEmpty());
        QVERIFY(!sockets.intersects(listeningTcpInodes(pid)));
        office.shutdown();
        QVERIFY(!QFileInfo::exists(folder));
    }

    // A user id with no entry in the user database (a container's --user N): the
    // office is lent an account through nss_wrapper, and all it makes in /tmp is
    // private; without nss_wrapper it is not started at all.
    void officeOfAUserIdWithoutAnAccount()
    {
        SKIP_UNLESS_ROOT("to run as a user id without an account");
        if (QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("setpriv is needed to run as a user id without an account");
        uid_t id = 4200;
        while (::getpwuid(id))
            ++id;
        QTemporaryDir own(QDir::tempPath() + "/tarnwick-no-account-XXXXXX");
        QVERIFY(QFile::setPermissions(own.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                      | QFile::ReadOther | QFile::ExeOther));
        const QString source = own.filePath("lent.odt");
        writeOdt(source, {"Lent an account"});
        for (const QString &owned : {own.path(), source})
            QCOMPARE(::chown(QFile::encodeName(owned).constData(), id, id), 0);

        const auto run = [&](bool withWrapper, QStringList &madeInTmp, QStringList &openToOthers) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("HOME", own.filePath("home"));
            environment.insert("XDG_CACHE_HOME", own.filePath("home/cache"));
            // What an unconfined office makes in /tmp: a confined one has a /tmp of its own.
            environment.insert("TARNWICK_TEST_NO_CONFINEMENT", "1");
            if (!withWrapper)
                environment.insert("CONVERT_PROBE_NO_ACCOUNT_WRAPPER", "1");
            auto probe = std::make_unique<QProcess>();
            probe->setProcessEnvironment(environment);
            probe->start("setpriv", {QStringLiteral("--reuid=%1").arg(id), QStringLiteral("--regid=%1").arg(id),
                                     "--clear-groups", CONVERT_PROBE, source, own.filePath("lent.txt")});
            while (!probe->waitForFinished(20)) {
                for (const QString &name : QDir("/tmp").entryList(QDir::AllEntries | QDir::System | QDir::Hidden
                                                                  | QDir::NoDotAndDotDot)) {
                    struct stat info {};
                    if (name == QFileInfo(own.path()).fileName()
                        || ::lstat(QFile::encodeName("/tmp/" + name), &info) != 0 || info.st_uid != id)
                        continue;
                    madeInTmp << name;
                    if ((info.st_mode & 077) != 0)
                        openToOthers << name;
                }
            }
            madeInTmp.removeDuplicates();
            openToOthers.removeDuplicates();
            return probe;
        };

        QStringList made, open;
        const auto lent = run(true, made, open);
        QCOMPARE(lent->exitCode(), 0);
        QVERIFY(readUtf8(own.filePath("lent.txt")).contains("Lent an account"));
        QVERIFY2(!made.filter(QStringLiteral("OSL_PIPE_%1_SingleOfficeIPC_").arg(id)).isEmpty(),
                 qPrintable(made.join(' ')));
        QVERIFY2(open.isEmpty(), qPrintable(open.join(' ')));

        made.clear();
        const auto refused = run(false, made, open);
        QCOMPARE(refused->exitCode(), 1);
        QVERIFY(refused->readAllStandardOutput().startsWith("office 0\n"));
        const QString errors = QString::fromLocal8Bit(refused->readAllStandardError());
        QVERIFY2(errors.contains(QStringLiteral("The user id %1 has no entry in the user database").arg(id))
                     && errors.contains("libnss-wrapper"),
                 qPrintable(errors));
        QVERIFY2(made.isEmpty(), qPrintable(made.join(' ')));
    }

    // The office's files are its user's alone, whatever the program's umask; its
    // temporary files go to a private folder of the cache that is emptied when it
    // starts and ends; and no office is taken from a relative PATH entry.
    void officeEnvironment()
    {
        const QString cache = QDir(qEnvironmentVariable("XDG_CACHE_HOME")).filePath("tarnwick");
        const QString temporary = cache + "/office-profile-temp";
        writeFile(temporary + "/lu1234.tmp/left-by-a-killed-office.odt");
        const QString here = fakeOfficeFolder(path("relative"), "touch \"$0.ran\"\nexit 1");
        const QString previous = QDir::currentPath();
        QDir::setCurrent(here);
        const QByteArray searchPath = qgetenv("PATH");
        qputenv("PATH", ".:" + searchPath);
        const mode_t umask = ::umask(0);
        UnoOfficeBridge office;
        OFFICE_STEP(convertDocument(office, document("environment", "Private"), path("environment.txt")));
        ::umask(umask);
        qputenv("PATH", searchPath);
        QDir::setCurrent(previous);
        QVERIFY(!QFile::exists(here + "/soffice.bin.ran"));
        QVERIFY(readUtf8(path("environment.txt")).contains("Private"));

        const qint64 pid = office.officeProcessId();
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        QVERIFY(status.open(QIODevice::ReadOnly));
        QVERIFY(status.readAll().contains("\nUmask:\t0077\n"));
        QFile environment(QStringLiteral("/proc/%1/environ").arg(pid));
        QVERIFY(environment.open(QIODevice::ReadOnly));
        QVERIFY(environment.readAll().split('\0').contains("TMPDIR=" + QFile::encodeName(temporary)));
        for (const QString &folder : {cache, temporary}) {
            struct stat info {};
            QCOMPARE(::stat(QFile::encodeName(folder).constData(), &info), 0);
            QCOMPARE(info.st_mode & 077, 0u); // nothing for group or others
        }
        QVERIFY(!QFile::exists(temporary + "/lu1234.tmp"));
        office.shutdown();
        QVERIFY(QDir(temporary).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    }

    // A bound that every office is past: started afresh before each document, every
    // text still written, but never while a document is held.
    void officeIsStartedAfreshPastTheMemoryBoundButNeverUnderADocument()
    {
        UnoOfficeOptions options = UnoOfficeOptions::defaults();
        options.restartAboveBytes = 1;
        UnoOfficeBridge office(options);
        OFFICE_STEP(convertDocument(office, document("r1", "One"), path("r1.txt")));
        const qint64 first = office.officeProcessId();

        OfficeRef held;
        OFFICE_STEP(held = loadDocument(office, document("r2", "Two")));
        const qint64 holding = office.officeProcessId();
        QVERIFY(holding != first);
        OFFICE_STEP(office.createServiceManager());
        OFFICE_STEP(office.newPropertyValue(SaveArgument::FilterName, TextExportFilter()));
        QCOMPARE(office.officeProcessId(), holding);
        OFFICE_STEP(office.close(held, true));
        held.reset();

        QSet<qint64> offices{first, holding};
        for (const QString name : {"r3", "r4"}) {
            OFFICE_STEP(convertDocument(office, document(name, "Text " + name), path(name + ".txt")));
            QVERIFY(!offices.contains(office.officeProcessId()));
            offices << office.officeProcessId();
            QVERIFY(readUtf8(path(name + ".txt")).contains("Text " + name));
        }
        QTRY_VERIFY(processIsGone(first));
    }

    void twoCopiesOfTheProgramConvertSideBySide()
    {
        QList<QProcess *> copies;
        for (const QString copy : {"a", "b"}) {
            QStringList arguments;
            for (int n = 1; n <= 3; ++n) {
                const QString name = QStringLiteral("copy-%1-%2").arg(copy).arg(n);
                arguments << document(name, "Text of " + name) << path(name + ".txt");
            }
            auto *process = new QProcess(this);
            process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process->start(QStringLiteral(CONVERT_PROBE), arguments);
            copies << process;
        }
        QList<qint64> offices;
        for (QProcess *process : copies) {
            QVERIFY(process->waitForFinished(300000));
            QCOMPARE(process->exitStatus(), QProcess::NormalExit);
            QCOMPARE(process->exitCode(), 0);
            offices << QString::fromLatin1(process->readAllStandardOutput()).section(' ', 1).toLongLong();
        }
        QVERIFY(offices[0] > 0 && offices[1] > 0 && offices[0] != offices[1]);
        for (qint64 pid : offices)
            QVERIFY2(processIsGone(pid), "an office outlived its program");
        for (const QString copy : {"a", "b"}) {
            for (int n = 1; n <= 3; ++n) {
                const QString name = QStringLiteral("copy-%1-%2").arg(copy).arg(n);
                QVERIFY2(readUtf8(path(name + ".txt")).contains("Text of " + name), qPrintable(name));
            }
        }
    }
};

OFFICE_TEST_MAIN(TestOfficeFailures)
#include "test_office_failures.moc"
