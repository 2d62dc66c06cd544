// Every office the program starts is confined, in every mode (the window's
// conversion code, the batch, the HTTP service, the user's service): from inside
// it, through its own connection, a secret in the home or beside the document
// cannot be read, the home neither listed nor written, a local server not reached;
// nor does an HTML file named .odt, whose stylesheet and picture the office would
// fetch, make a request. Where confinement is unavailable the texts are the same,
// a line says so once, and --confined=require refuses.
#include "OfficeTestSupport.h"
#include "assets/WriterDocuments.h"
#include "convert/office/UnoOfficeBridge.h"
#include "support/OfficeProcesses.h"
#include "support/ProgramEnvironment.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <csignal>
#include <thread>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr auto kSwitch = "TARNWICK_TEST_NO_CONFINEMENT";

struct Outcome {
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

// The answer to one request on the service's unix socket, read to its end.
QByteArray askService(const QString &socket, const QByteArray &request)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socket);
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    QByteArray answer;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size()) {
        char buffer[65536];
        for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
            answer.append(buffer, got);
    }
    ::close(fd);
    return answer;
}

QByteArray post(const QByteArray &body)
{
    return "POST /convert?name=page.odt HTTP/1.1\r\nHost: t\r\nConnection: close\r\nContent-Length: "
           + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace

class TestConfinement : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
    int m_listener = -1; // a local server that answers 404 to everything
    std::atomic<int> m_requests{0};
    std::thread m_server;
    QByteArray m_url;
    QStringList m_documents;

    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    // The home of this process's offices and of the programs it starts.
    QString home() const { return qEnvironmentVariable("HOME"); }

    // True when anything connected to the local server since last asked.
    bool serverWasReached() { return m_requests.exchange(0) > 0; }

    // Every try from inside the offices of process `pid`, "reached X" or "refused X".
    QStringList reachFromOffices(qint64 pid)
    {
        QProcess probe;
        probe.start("/usr/bin/python3", {REACH_PROBE, QString::number(pid), home(), home() + "/secret",
                                        path("docs/secret"), QString::fromLatin1(m_url)});
        if (!probe.waitForFinished(300000))
            qFatal("the probe did not end");
        return QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

    void verifyConfined(qint64 pid)
    {
        const QStringList tries = reachFromOffices(pid);
        QVERIFY2(tries.size() >= 5 && tries.filter("refused ").size() == tries.size(), qPrintable(tries.join(", ")));
        QVERIFY(!serverWasReached());
        QVERIFY(!QFileInfo::exists(home() + "/written-by-office"));
    }

    Outcome run(const QStringList &arguments, const QProcessEnvironment &environment,
                const std::function<void(qint64)> &watch = {})
    {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(TARNWICK_BINARY, arguments);
        while (!program.waitForFinished(20))
            if (watch)
                watch(program.processId());
        return {program.exitCode(), program.readAllStandardOutput(), program.readAllStandardError()};
    }

    bool hasOfficePipe(qint64 pid) const
    {
        const QString pattern = QStringLiteral("OSL_PIPE_%1_tarnwick_%2_*").arg(::getuid()).arg(pid);
        for (const QString &folder : QDir("/tmp").entryList({pattern}, QDir::Dirs))
            if (QFileInfo::exists("/tmp/" + folder + "/office"))
                return true;
        return false;
    }

    QProcessEnvironment unconfined() const
    {
        QProcessEnvironment environment = m_environment;
        environment.insert(kSwitch, "1");
        return environment;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_environment = HeadlessProgramEnvironment(home());
        for (const char *folder : {"docs", "confined", "unconfined", "refused"})
            QVERIFY(QDir().mkpath(path(folder)));
        writeFile(home() + "/secret", "home secret");
        writeFile(path("docs/secret"), "beside the document");
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        QVERIFY(::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
                && ::listen(m_listener, 64) == 0
                && ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size) == 0);
        m_url = "http://127.0.0.1:" + QByteArray::number(ntohs(address.sin_port));
        m_server = std::thread([this] {
            for (int fd; (fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; ::close(fd)) {
                ++m_requests;
                char request[4096];
                [[maybe_unused]] const ssize_t got = ::read(fd, request, sizeof request);
                const char answer[] = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";
                [[maybe_unused]] const ssize_t sent = ::send(fd, answer, sizeof answer - 1, MSG_NOSIGNAL);
            }
        });
        writeFile(path("docs/page.odt"), "<html><head><link rel=\"stylesheet\" href=\"" + m_url
                                              + "/style.css\"></head><body><p>Web words</p><img src=\"" + m_url
                                              + "/picture.png\"></body></html>");
        const QStringList words{"Words of the document", "Zweite Zeile: äöü"};
        writeWriterDocument(path("docs/plain.odt"), WriterFormat::Odt, words);
        writeWriterDocument(path("docs/template.ott"), WriterFormat::Ott, words);
        writeWriterDocument(path("docs/old.sxw"), WriterFormat::Sxw, words);
        writeWriterDocument(path("docs/old template.stw"), WriterFormat::Stw, words);
        writeOdtXml(path("docs/fields.odt"), "<text:p>At <text:file-name text:display=\"full\">x</text:file-name></text:p>");
        for (const QString name : {"page.odt", "plain.odt", "template.ott", "old.sxw", "old template.stw", "fields.odt"})
            m_documents << path("docs/" + name);
    }

    void cleanupTestCase()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        m_server.join();
        ::close(m_listener);
    }

    void windowsOfficeIsConfined()
    {
        UnoOfficeBridge office;
        OFFICE_STEP(convertDocument(office, path("docs/page.odt"), path("window-page.txt")));
        QVERIFY(readUtf8(path("window-page.txt")).contains("Web words"));
        verifyConfined(::getpid());
    }

    // The batch is held still once its office is there, and its texts are those an
    // unconfined office writes, to the byte.
    void batchOfficeIsConfinedAndItsTextsAreTheSame()
    {
        bool probed = false;
        const Outcome confined = run(QStringList{"--convert", "--jobs", "1", "--out", path("confined")} + m_documents,
                                     m_environment, [&](qint64 program) {
                                         if (probed || !hasOfficePipe(program))
                                             return;
                                         ::kill(pid_t(program), SIGSTOP);
                                         verifyConfined(program);
                                         ::kill(pid_t(program), SIGCONT);
                                         probed = true;
                                     });
        QVERIFY(probed);
        QVERIFY2(confined.exitCode == 0 && !confined.errors.contains("unconfined"), confined.errors.constData());
        QVERIFY(!serverWasReached());

        const Outcome plain = run(QStringList{"--convert", "--jobs", "1", "--out", path("unconfined")} + m_documents,
                                  unconfined());
        QCOMPARE(plain.exitCode, 0);
        QCOMPARE(plain.errors.count("tarnwick: the office runs unconfined, with this user's access to files and "
                                    "network: switched off by TARNWICK_TEST_NO_CONFINEMENT.\n"),
                 1);
        QVERIFY(serverWasReached()); // no setting of the office's holds back a stylesheet
        for (const QString &document : std::as_const(m_documents)) {
            const QString name = QFileInfo(document).completeBaseName() + ".txt";
            QCOMPARE(readBytes(path("confined/" + name)), readBytes(path("unconfined/" + name)));
        }
        QVERIFY(readBytes(path("confined/fields.txt")).contains(QFile::encodeName(path("docs/fields.odt"))));

        const Outcome refused =
            run({"--convert", "--confined=require", "--out", path("refused"), path("docs/plain.odt")}, unconfined());
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.errors.contains("--confined=require refuses"), refused.errors.constData());
        QVERIFY(!QFileInfo::exists(path("refused/plain.txt")));
    }

    void servicesOfficesAreConfined()
    {
        const QString socket = path("serve.sock");
        QProcess service;
        service.setProcessEnvironment(m_environment);
        service.start(TARNWICK_BINARY, {"--serve", "--jobs", "1", "--listen", "unix:" + socket});
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, 60000));
        QVERIFY(askService(socket, post(readBytes(path("docs/page.odt")))).contains("Web words"));
        QVERIFY(askService(socket, "GET /health HTTP/1.1\r\nConnection: close\r\n\r\n").endsWith("ok\noffice: confined\n"));
        verifyConfined(service.processId());
        service.terminate();
        QVERIFY(service.waitForFinished(120000));

        // The user's service, which --stdout starts.
        const Outcome text = run({"--convert", "--stdout", path("docs/page.odt")}, m_environment);
        QVERIFY2(text.output.contains("Web words"), text.errors.constData());
        const qint64 user = readBytes(home() + "/run/tarnwick/serve.lock").trimmed().toLongLong();
        QVERIFY(user > 0 && isRunning(user));
        verifyConfined(user);
        run({"--serve", "--user", "--stop"}, m_environment);
    }

    // Unconfined, the same probe reaches everything; the service says so, and
    // refuses to start under --confined=require.
    void unconfinedServiceSaysSo()
    {
        const QString socket = path("open.sock");
        QProcess service;
        service.setProcessEnvironment(unconfined());
        service.start(TARNWICK_BINARY, {"--serve", "--jobs", "1", "--listen", "unix:" + socket});
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, 60000));
        QVERIFY(askService(socket, "GET /health HTTP/1.1\r\nConnection: close\r\n\r\n").endsWith("office: unconfined\n"));
        QVERIFY(askService(socket, "GET /metrics HTTP/1.1\r\nConnection: close\r\n\r\n")
                    .contains("\ntarnwick_office_confined 0\n"));
        QVERIFY(askService(socket, post(readBytes(path("docs/plain.odt")))).contains("Zweite Zeile"));
        const QStringList tries = reachFromOffices(service.processId());
        for (const QString what : {"home-secret", "beside-secret", "home-listing", "home-write"})
            QVERIFY2(tries.contains("reached " + what), qPrintable(tries.join(", ")));
        QVERIFY(serverWasReached()); // the fetch came, answered 404
        QFile::remove(home() + "/written-by-office");
        service.terminate();
        QVERIFY(service.waitForFinished(120000));
        QVERIFY(service.readAllStandardError().contains("\"event\":\"unconfined\""));

        const Outcome refused = run({"--serve", "--confined=require", "--listen", "unix:" + path("no.sock")}, unconfined());
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.errors.contains("--confined=require refuses"), refused.errors.constData());
    }
};

OFFICE_TEST_MAIN(TestConfinement)
#include "test_confinement.moc"
