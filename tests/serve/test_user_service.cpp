// The user's own service as the programs that ask for one document at a time use
// it: `tarnwick --convert --stdout` through it, started by the first call, stopped,
// ended when idle, started by socket activation; and never another user's socket.
#include "assets/WriterDocuments.h"
#include "support/OfficeProcesses.h"
#include "support/ProgramEnvironment.h"
#include "support/RootOnly.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
    bool operator==(const Outcome &) const = default;
};

// A unix socket listening at `path`, bound and listened on as `uid`.
pid_t listenAs(const QString &path, uid_t uid, int ready[2])
{
    const pid_t child = ::fork();
    if (child != 0)
        return child;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, QFile::encodeName(path).constData());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::setresuid(uid, uid, uid) != 0
        || ::listen(fd, 8) != 0)
        ::_exit(1);
    (void)!::write(ready[1], "x", 1);
    ::pause();
    ::_exit(0);
}

} // namespace

class TestUserService : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;

    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    QString runtime() const { return path(QStringLiteral("home/run/tarnwick")); }

    Outcome run(const QStringList &arguments)
    {
        QProcess program;
        program.setProcessEnvironment(m_environment);
        program.start(QStringLiteral(TARNWICK_BINARY), arguments);
        if (!program.waitForFinished(300000))
            qFatal("tarnwick %s did not end", qPrintable(arguments.join(' ')));
        return {program.exitCode(), program.readAllStandardOutput(), program.readAllStandardError()};
    }
    Outcome text(const QString &document, const QStringList &options = {})
    {
        return run(QStringList{QStringLiteral("--convert"), QStringLiteral("--stdout")} + options + QStringList{document});
    }

    // The running service's process id, from its lock; 0 when none runs.
    qint64 runningService()
    {
        const qint64 pid = readBytes(runtime() + "/serve.lock").trimmed().toLongLong();
        return pid > 0 && isRunning(pid) ? pid : 0;
    }
    int listeningLines() { return int(readBytes(path("home/cache/tarnwick/serve.log")).count("\"event\":\"listening\"")); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_environment = HeadlessProgramEnvironment(path(QStringLiteral("home")));
        QDir().mkpath(path("docs"));
        const QStringList words{"Words of the document", "Zweite Zeile: äöü"};
        writeWriterDocument(path("docs/plain.odt"), WriterFormat::Odt, words);
        writeWriterDocument(path("docs/template.ott"), WriterFormat::Ott, words);
        writeWriterDocument(path("docs/old.sxw"), WriterFormat::Sxw, words);
        writeWriterDocument(path("docs/old template.stw"), WriterFormat::Stw, words);
        writeOdtXml(path("docs/fields.odt"),
                    "<text:p>Page <text:page-number text:select-page=\"current\">1</text:page-number></text:p>"
                    "<text:p>At <text:file-name text:display=\"full\">x</text:file-name></text:p>");
        writeTruncatedOdt(path("docs/broken.odt"));
    }

    void cleanup() { run({"--serve", "--user", "--stop"}); }

    // The first call starts the service, detached, and the texts through it are the
    // call's own office's to the byte, for the four formats; so are a failure's
    // status and lines. --no-service starts nothing.
    void warmTextIsTheCold()
    {
        QList<Outcome> cold;
        for (const QString name : {"plain.odt", "template.ott", "old.sxw", "old template.stw", "fields.odt", "broken.odt"})
            cold << text(path("docs/" + name), {QStringLiteral("--no-service")});
        QCOMPARE(runningService(), 0);
        QVERIFY(!QFileInfo::exists(runtime() + "/serve.sock"));
        QVERIFY2(cold[0].output.contains("Zweite Zeile"), cold[0].errors.constData());
        QVERIFY2(cold[4].output.contains(QFile::encodeName(path("docs/fields.odt"))), cold[4].output.constData());

        int i = 0;
        for (const QString name : {"plain.odt", "template.ott", "old.sxw", "old template.stw", "fields.odt", "broken.odt"}) {
            const Outcome warm = text(path("docs/" + name));
            QVERIFY2(warm == cold[i], qPrintable(name + ": " + warm.errors));
            ++i;
            QVERIFY(runningService() != 0);
        }
        QCOMPARE(cold.last().exitCode, 1);
        QVERIFY(cold.last().errors.startsWith("tarnwick: failed: " + QFile::encodeName(path("docs/broken.odt"))));
        // One service served them all, outside the caller's session, its socket private.
        QCOMPARE(listeningLines(), 1);
        QCOMPARE(readBytes(path("home/cache/tarnwick/serve.log")).count("\"status\":200"), 5);
        QVERIFY(::getsid(pid_t(runningService())) != ::getsid(0));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(runtime() + "/serve.sock").constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
    }

    // Calls that race start one service between them.
    void racingCallsStartOne()
    {
        const int before = listeningLines();
        std::vector<std::unique_ptr<QProcess>> calls;
        for (int i = 0; i < 4; ++i) {
            calls.push_back(std::make_unique<QProcess>());
            calls.back()->setProcessEnvironment(m_environment);
            calls.back()->start(QStringLiteral(TARNWICK_BINARY), {"--convert", "--stdout", path("docs/plain.odt")});
        }
        for (const auto &call : calls) {
            QVERIFY(call->waitForFinished(300000));
            QCOMPARE(call->exitCode(), 0);
            QVERIFY(call->readAllStandardOutput().contains("Zweite Zeile"));
        }
        QCOMPARE(listeningLines(), before + 1);
    }

    // A second start says that one runs; --stop ends it with its office, and says
    // so with 0 when none runs.
    void secondStartSaysOneRunsAndStopEndsIt()
    {
        QCOMPARE(text(path("docs/plain.odt")).exitCode, 0);
        const qint64 service = runningService();
        QVERIFY(service != 0);
        QVERIFY(QTest::qWaitFor([&] { return officesOf(service).size() == 1; }, 60000));
        const qint64 office = officesOf(service).first();
        const Outcome second = run({"--serve", "--user"});
        QCOMPARE(second.exitCode, 0);
        QVERIFY2(second.errors.contains("runs already"), second.errors.constData());
        QCOMPARE(run({"--serve", "--user", "--stop"}).exitCode, 0);
        QVERIFY(!isRunning(service));
        QVERIFY(!isRunning(office));
        const Outcome none = run({"--serve", "--user", "--stop"});
        QCOMPARE(none.exitCode, 0);
        QVERIFY(none.errors.contains("no service"));
    }

    // Without a request for --idle-exit seconds, the service ends, and its office.
    void idleExitEndsServiceAndOffice()
    {
        QProcess service;
        service.setProcessEnvironment(m_environment);
        service.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        service.start(QStringLiteral(TARNWICK_BINARY), {"--serve", "--user", "--idle-exit", "2"});
        QVERIFY(QTest::qWaitFor([&] { return runningService() == service.processId(); }, 60000));
        QVERIFY(text(path("docs/plain.odt")).output.contains("Zweite Zeile"));
        QVERIFY(officesOf(service.processId()).size() == 1);
        const qint64 pid = service.processId();
        QVERIFY(service.waitForFinished(120000));
        QCOMPARE(service.exitCode(), 0);
        QVERIFY(service.readAllStandardError().contains("\"idle\":2"));
        QVERIFY(officesOf(pid).isEmpty());
    }

    // systemd's socket activation: the service takes the socket it is given. The
    // user units, pointed at the built program, are what systemd accepts.
    void servesOnTheSocketSystemdHandsIt()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("systemd-socket-activate")).isEmpty())
            QSKIP("systemd-socket-activate is not installed");
        QDir().mkpath(path("units"));
        writeFile(path("units/tarnwick.socket"), readBytes(QStringLiteral(UNITS_DIR "/tarnwick.socket")));
        const QString service = readText(QStringLiteral(UNITS_DIR "/tarnwick.service"));
        writeFile(path("units/tarnwick.service"),
                  QString(service).replace(QRegularExpression("ExecStart=\\S+"), "ExecStart=" TARNWICK_BINARY).toUtf8());
        QProcess verify;
        verify.setProcessEnvironment(m_environment);
        verify.start(QStringLiteral("systemd-analyze"), {"--user", "verify", "--man=no", path("units/tarnwick.socket"),
                                                          path("units/tarnwick.service")});
        QVERIFY(verify.waitForFinished(60000));
        const QByteArray said = verify.readAllStandardError();
        QVERIFY2(verify.exitCode() == 0 && said.isEmpty(), said.constData());
        QDir().mkpath(runtime());
        QFile::setPermissions(runtime(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QStringList arguments{"-l", runtime() + "/serve.sock"};
        for (const QString &name : m_environment.keys())
            arguments << "-E" << name + '=' + m_environment.value(name);
        QProcess activator;
        activator.setProcessEnvironment(m_environment);
        activator.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); ::umask(077); });
        activator.start(QStringLiteral("systemd-socket-activate"),
                        arguments + QStringList{TARNWICK_BINARY, "--serve", "--user"});
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(runtime() + "/serve.sock"); }, 30000));
        const int before = listeningLines();
        QCOMPARE(text(path("docs/plain.odt")), text(path("docs/plain.odt"), {"--no-service"}));
        QCOMPARE(runningService(), activator.processId()); // it execs the service itself
        QCOMPARE(listeningLines(), before);
        QCOMPARE(run({"--serve", "--user", "--stop"}).exitCode, 0);
        QVERIFY(activator.waitForFinished(60000));
        QCOMPARE(activator.exitCode(), 0);
        QVERIFY(activator.readAllStandardError().contains("\"address\":\"unix:" + QFile::encodeName(runtime())));
    }

    // A socket, a folder or a listening process of another account at the path is
    // never sent anything: the call converts with its own office and says so once.
    void anotherUsersSocketIsNeverUsed()
    {
        SKIP_UNLESS_ROOT("to make another account's socket");
        const uid_t other = 65534;
        const QString socket = runtime() + "/serve.sock";
        const Outcome own = text(path("docs/plain.odt"), {"--no-service"});
        for (const QString which : {"socket", "folder", "listener"}) {
            QDir(runtime()).removeRecursively();
            QDir().mkpath(runtime());
            ::chmod(QFile::encodeName(runtime()).constData(), 0700);
            int ready[2];
            QCOMPARE(::pipe(ready), 0);
            const pid_t listener = listenAs(socket, which == QLatin1String("listener") ? other : 0, ready);
            char byte = 0;
            QCOMPARE(::read(ready[0], &byte, 1), 1);
            if (which == QLatin1String("socket"))
                QCOMPARE(::chown(QFile::encodeName(socket).constData(), other, other), 0);
            if (which == QLatin1String("folder"))
                QCOMPARE(::chown(QFile::encodeName(runtime()).constData(), other, other), 0);
            const Outcome call = text(path("docs/plain.odt"));
            ::kill(listener, SIGKILL);
            ::waitpid(listener, nullptr, 0);
            QCOMPARE(call.output, own.output);
            QCOMPARE(call.exitCode, 0);
            QCOMPARE(call.errors.count('\n'), 1);
            QVERIFY2(call.errors.contains("nothing was sent"), call.errors.constData());
            QCOMPARE(runningService(), 0);
        }
        QDir(runtime()).removeRecursively();
    }
};

QTEST_GUILESS_MAIN(TestUserService)
#include "test_user_service.moc"
