// The user's own service as the programs that ask for one document at a time use
// it: `tarnwick --convert --stdout` through it, started by the first call, stopped,
// ended when idle, started by socket activation; never another user's socket or
// runtime folder; and no call ever held by a service that does not answer.
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

// True once the process has a SIGTERM waiting for it (a stopped one keeps it).
bool termPending(qint64 pid)
{
    const QList<QByteArray> lines = readBytes(QStringLiteral("/proc/%1/status").arg(pid)).split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("ShdPnd:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) & (1ULL << (SIGTERM - 1))) != 0;
    }
    return false;
}

} // namespace

class TestUserService : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
    Outcome m_own; // plain.odt, converted by the call's own office

    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    QString runtime() const { return path(QStringLiteral("home/run/tarnwick")); }

    Outcome run(const QStringList &arguments, const QString &binary = QStringLiteral(TARNWICK_BINARY))
    {
        QProcess program;
        program.setProcessEnvironment(m_environment);
        program.start(binary, arguments);
        if (!program.waitForFinished(300000))
            qFatal("tarnwick %s did not end", qPrintable(arguments.join(' ')));
        return {program.exitCode(), program.readAllStandardOutput(), program.readAllStandardError()};
    }
    Outcome text(const QString &document, const QStringList &options = {},
                 const QString &binary = QStringLiteral(TARNWICK_BINARY))
    {
        return run(QStringList{QStringLiteral("--convert"), QStringLiteral("--stdout")} + options + QStringList{document},
                   binary);
    }
    // A call left running, ended by the test or by the end of the test program.
    std::unique_ptr<QProcess> startText(const QString &document)
    {
        auto call = std::make_unique<QProcess>();
        call->setProcessEnvironment(m_environment);
        call->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        call->start(QStringLiteral(TARNWICK_BINARY), {"--convert", "--stdout", document});
        return call;
    }
    // The number of the service's busy offices, from its /metrics.
    int busyOffices()
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, QFile::encodeName(runtime() + "/serve.sock").constData());
        QByteArray answer;
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
            const QByteArray request = "GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
            (void)!::write(fd, request.constData(), size_t(request.size()));
            char buffer[4096];
            for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
                answer.append(buffer, got);
        }
        ::close(fd);
        const qsizetype at = answer.indexOf("\ntarnwick_offices_busy ");
        return at < 0 ? -1 : answer.mid(at + 23, answer.indexOf('\n', at + 1) - at - 23).trimmed().toInt();
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
        writeMarkedOdt(path("docs/endless.odt"), 60000);
        m_own = text(path("docs/plain.odt"), {"--no-service"});
        QVERIFY2(m_own.output.contains("Zweite Zeile"), m_own.errors.constData());
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

    // A stopped service (SIGSTOP) holds no call: the call converts with its own
    // office. --stop asks it to end and waits, until the first SIGTERM; the service
    // ends once continued, removing its socket and its lock.
    void stoppedServiceHoldsNoCall()
    {
        QCOMPARE(text(path("docs/plain.odt")).exitCode, 0);
        const qint64 service = runningService();
        QVERIFY(service != 0);
        QCOMPARE(::kill(pid_t(service), SIGSTOP), 0);
        QCOMPARE(text(path("docs/plain.odt")), m_own);

        QProcess stop;
        stop.setProcessEnvironment(m_environment);
        stop.start(QStringLiteral(TARNWICK_BINARY), {"--serve", "--user", "--stop"});
        QVERIFY(QTest::qWaitFor([&] { return termPending(service); }, 60000));
        ::kill(pid_t(stop.processId()), SIGTERM);
        QVERIFY(stop.waitForFinished(60000));
        QCOMPARE(stop.exitCode(), 128 + SIGTERM);
        QVERIFY2(stop.readAllStandardError().contains("stopped waiting for the user's service (process "
                                                      + QByteArray::number(service)),
                 "no word of the wait");
        QVERIFY(isRunning(service));
        ::kill(pid_t(service), SIGCONT);
        QVERIFY(QTest::qWaitFor([&] { return !isRunning(service); }, 120000));
        QVERIFY(!QFileInfo::exists(runtime() + "/serve.sock"));
        QVERIFY(!QFileInfo::exists(runtime() + "/serve.lock"));
    }

    // A document that keeps the only office busy holds up no other call, which gets
    // its text from an office of its own while the first still waits; one SIGTERM
    // ends the waiting call at once, with nothing on stdout.
    void busyOfficeHoldsNoOtherCall()
    {
        QCOMPARE(text(path("docs/plain.odt")).exitCode, 0);
        const std::unique_ptr<QProcess> endless = startText(path("docs/endless.odt"));
        QVERIFY(QTest::qWaitFor([&] { return busyOffices() == 1; }, 120000));
        QCOMPARE(text(path("docs/plain.odt")), m_own);
        QCOMPARE(endless->state(), QProcess::Running);
        ::kill(pid_t(endless->processId()), SIGTERM);
        QVERIFY(endless->waitForFinished(60000));
        QCOMPARE(endless->exitCode(), 128 + SIGTERM);
        QVERIFY(endless->readAllStandardOutput().isEmpty());
    }

    // A service whose socket's file is removed ends, and the next call is served by
    // a new one; a service whose program's file is replaced ends too, removing its
    // socket and lock, and the next call starts the program as it is now.
    void serviceFollowsItsSocketAndProgram()
    {
        const QString program = path("bin/tarnwick");
        QDir().mkpath(path("bin"));
        QVERIFY(QFile::copy(QStringLiteral(TARNWICK_BINARY), program));
        QCOMPARE(text(path("docs/plain.odt"), {}, program).output, m_own.output);
        const qint64 first = runningService();
        QVERIFY(QFile::remove(runtime() + "/serve.sock"));
        QCOMPARE(text(path("docs/plain.odt"), {}, program), m_own);
        QVERIFY(QTest::qWaitFor([&] { return !isRunning(first); }, 120000));
        const qint64 second = runningService();
        QVERIFY(second != 0 && second != first);

        QVERIFY(QFile::copy(QStringLiteral(TARNWICK_BINARY), program + ".new"));
        QCOMPARE(::rename(QFile::encodeName(program + ".new").constData(), QFile::encodeName(program).constData()), 0);
        QVERIFY(QTest::qWaitFor([&] { return !isRunning(second); }, 120000));
        QVERIFY(!QFileInfo::exists(runtime() + "/serve.sock"));
        QVERIFY(!QFileInfo::exists(runtime() + "/serve.lock"));
        const QByteArray log = readBytes(path("home/cache/tarnwick/serve.log"));
        QVERIFY(log.contains("\"socket_removed\"") && log.contains("\"program_replaced\""));
        QCOMPARE(text(path("docs/plain.odt"), {}, program), m_own);
    }

    // Root with a user's runtime folder (su without -) makes nothing there; with a
    // program cache folder of another user's, the call says only what the batch
    // then does.
    void foreignFoldersAreNotUsed()
    {
        if (::geteuid() != 0)
            QSKIP("needs root, to make another account's folder");
        const QString foreign = path("foreign-run");
        QDir().mkpath(foreign);
        QCOMPARE(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
        const QProcessEnvironment own = m_environment;
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), foreign);
        const Outcome call = text(path("docs/plain.odt"));
        run({"--serve", "--user", "--stop"});
        QCOMPARE(call, m_own);
        QVERIFY(QDir(foreign).isEmpty());

        QDir().mkpath(path("foreign-cache/tarnwick"));
        QCOMPARE(::chown(QFile::encodeName(path("foreign-cache/tarnwick")).constData(), 65534, 65534), 0);
        m_environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        m_environment.insert(QStringLiteral("XDG_CACHE_HOME"), path("foreign-cache"));
        const Outcome refused = text(path("docs/plain.odt"));
        m_environment = own;
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(!refused.errors.contains("an office of this call's own"), refused.errors.constData());
        QCOMPARE(refused.errors.count("belongs to another user"), 1);
    }
};

QTEST_GUILESS_MAIN(TestUserService)
#include "test_user_service.moc"
