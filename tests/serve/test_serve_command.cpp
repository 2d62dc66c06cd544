// `tarnwick --serve` as an application calls it: the built program, the real
// office, no display, requests over a unix socket.
#include "assets/WriterDocuments.h"
#include "convert/office/UnoOfficeBridge.h"
#include "support/OfficeProcesses.h"
#include "support/ProgramEnvironment.h"
#include "support/PasswordDocument.h"
#include "support/RootOnly.h"
#include "support/TestFiles.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <future>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>

namespace {

struct Reply {
    int status = 0;
    QByteArray head; // the status line and headers
    QByteArray body;
    bool closed = false; // the service closed the connection
};

int connectTo(const QString &socket)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socket);
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        qFatal("cannot connect to %s", path.constData());
    return fd;
}

// Reads the answer to its end (every request asks for the connection to close),
// for ten minutes at most (a slow document on a loaded machine takes minutes);
// closes the connection.
Reply readReply(int fd)
{
    QByteArray answer;
    char buffer[65536];
    pollfd readable{fd, POLLIN, 0};
    bool closed = false;
    while (!closed && ::poll(&readable, 1, 600000) > 0) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        closed = got <= 0;
        answer.append(buffer, std::max<ssize_t>(got, 0));
    }
    ::close(fd);
    const qsizetype end = answer.indexOf("\r\n\r\n");
    return {answer.left(answer.indexOf('\n')).split(' ').value(1).toInt(), answer.left(end),
            end < 0 ? QByteArray() : answer.mid(end + 4), closed};
}

int sendRequest(const QString &socket, const QByteArray &request)
{
    const int fd = connectTo(socket);
    // A request refused early may not be taken whole; its answer is what counts.
    [[maybe_unused]] const ssize_t sent = ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
    return fd;
}

Reply exchange(const QString &socket, const QByteArray &request)
{
    return readReply(sendRequest(socket, request));
}

QByteArray request(const QByteArray &line, const QByteArray &body = {}, const QByteArray &type = "application/octet-stream",
                   qint64 length = -1)
{
    return line + " HTTP/1.1\r\nHost: tarnwick\r\nConnection: close\r\nContent-Type: " + type
           + "\r\nContent-Length: " + QByteArray::number(length < 0 ? body.size() : length) + "\r\n\r\n" + body;
}

// What `curl -F file=@NAME` sends.
QByteArray formRequest(const QByteArray &document, const QByteArray &name)
{
    const QByteArray boundary = "----tarnwick-test-boundary";
    const QByteArray body = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"other\"\r\n\r\nx\r\n--"
                            + boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + name
                            + "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + document + "\r\n--" + boundary
                            + "--\r\n";
    return request("POST /convert", body, "multipart/form-data; boundary=" + boundary);
}

} // namespace

class TestServeCommand : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
    int m_services = 0;

    struct Service {
        std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
        QString socket;
        QString logFile; // stderr goes into a file: a pipe left unread would stop the service once full
        QByteArray log;
        Service() = default;
        Service(Service &&) = default;
        ~Service() // stopped in order, also after a failed check
        {
            if (process && process->state() != QProcess::NotRunning) {
                process->terminate();
                process->waitForFinished(120000);
            }
        }
        const QByteArray &readLog()
        {
            log = readBytes(logFile);
            return log;
        }
        bool waitForLog(const QByteArray &part)
        {
            return QTest::qWaitFor([&] { return readLog().contains(part); }, 60000);
        }
        qint64 metric(const QByteArray &name)
        {
            const Reply reply = exchange(socket, request("GET /metrics"));
            const QRegularExpression sample("^" + QRegularExpression::escape(QString::fromUtf8(name)) + " (\\d+)$",
                                            QRegularExpression::MultilineOption);
            return sample.match(QString::fromUtf8(reply.body)).captured(1).toLongLong();
        }
        // Waits until the metric has the value.
        bool waitForMetric(const QByteArray &name, qint64 value)
        {
            return QTest::qWaitFor([&] { return metric(name) == value; }, 120000);
        }
    };

    // `temporary`: the service's TMPDIR, when not the tests' own.
    Service start(const QStringList &options, const QString &temporary = {})
    {
        Service service;
        const QString folder = m_dir.filePath(QStringLiteral("run"));
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        service.socket = QStringLiteral("%1/%2.socket").arg(folder).arg(++m_services);
        service.logFile = QStringLiteral("%1/%2.log").arg(folder).arg(m_services);
        service.process->setStandardErrorFile(service.logFile);
        QProcessEnvironment environment = m_environment;
        if (!temporary.isEmpty())
            environment.insert(QStringLiteral("TMPDIR"), temporary);
        service.process->setProcessEnvironment(environment);
        // A test that aborts takes its service (and so the offices) with it.
        service.process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        service.process->start(QStringLiteral(TARNWICK_BINARY), QStringList{QStringLiteral("--serve"), QStringLiteral("--listen"),
                                                                            "unix:" + service.socket} + options);
        if (!QTest::qWaitFor([&] { return service.readLog().contains("\"event\":\"listening\"")
                                          || service.process->state() == QProcess::NotRunning; }, 60000)
            || !QFileInfo::exists(service.socket))
            qFatal("the service did not start: %s", service.log.constData());
        return service;
    }

    // The text `tarnwick --convert --stdout` gives for the document.
    QByteArray batchText(const QString &document)
    {
        QProcess batch;
        batch.setProcessEnvironment(m_environment);
        batch.start(QStringLiteral(TARNWICK_BINARY),
                    {QStringLiteral("--convert"), QStringLiteral("--stdout"), QStringLiteral("--no-service"), document});
        batch.waitForFinished(300000);
        return batch.readAllStandardOutput();
    }

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_environment = HeadlessProgramEnvironment(path(QStringLiteral("home")));
        QDir().mkpath(path(QStringLiteral("tmp")));
        m_environment.insert(QStringLiteral("TMPDIR"), path(QStringLiteral("tmp")));
        QDir().mkpath(path(QStringLiteral("docs")));
        writeOdt(path("docs/plain.odt"), {"Plain words", "Zweite Zeile mit Umlaut: äöü"});
        // Some ten seconds of the office's work, or more.
        writeMarkedOdt(path("docs/marks.odt"), 20000);
    }

    // By body (named or not) and by form, each text is the batch's to the byte; the socket is
    // the user's alone, each request has its log line, and no document or text is
    // left behind.
    void textsAreTheBatchs()
    {
        writeSxw(path("docs/old.sxw"), {"An OpenOffice.org 1 document"});
        writeOdtXml(path("docs/fields.odt"),
                    "<text:p>Page <text:page-number text:select-page=\"current\">1</text:page-number></text:p>");
        Service service = start({QStringLiteral("--jobs"), QStringLiteral("2")});
        QCOMPARE(QFileInfo(service.socket).permissions(),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        for (const QString name : {"plain.odt", "old.sxw", "fields.odt"}) {
            const QByteArray document = readBytes(path("docs/" + name));
            const QByteArray expected = batchText(path("docs/" + name));
            QVERIFY(expected.size() > 3);
            const Reply byBody = exchange(service.socket, request("POST /convert?name=" + name.toUtf8(), document));
            QCOMPARE(byBody.status, 200);
            QVERIFY(byBody.head.contains("Content-Type: text/plain; charset=utf-8"));
            QCOMPARE(byBody.body, expected);
            const Reply byForm = exchange(service.socket, formRequest(document, name.toUtf8()));
            QCOMPARE(byForm.status, 200);
            QCOMPARE(byForm.body, expected);
            // Without a name the document is named after its type.
            QCOMPARE(exchange(service.socket, request("POST /convert", document)).body, expected);
            QVERIFY2(service.waitForLog("\"bytes_in\":" + QByteArray::number(document.size())
                                        + ",\"bytes_out\":" + QByteArray::number(expected.size())),
                     service.log.constData());
        }
        // Plain text named .odt is converted, and the answer says what it was read as.
        const Reply plainText = exchange(service.socket, request("POST /convert?name=notes.odt", "Plain words\n"));
        QCOMPARE(plainText.status, 200);
        QVERIFY2(plainText.head.contains("Tarnwick-Read-As: generic_Text"), plainText.head.constData());
        QVERIFY(QDirIterator(path("tmp"), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories).next().isEmpty());
        QCOMPARE(service.metric("tarnwick_conversion_seconds_bucket{le=\"+Inf\"}"), 10);
        QCOMPARE(service.metric("tarnwick_conversions_total{outcome=\"converted\"}"), 10);
    }

    // What is not converted gets its status and reason; a body too large is refused
    // before it is sent; a full queue answers at once; a document past its limit
    // ends its office's work.
    void refusals()
    {
        UnoOfficeBridge office;
        const QByteArray locked = passwordProtectedOdt(office, path("made"));
        office.shutdown();
        writeTruncatedOdt(path("made/broken.odt"));
        // Minutes of the office's work, which the limit ends after seconds.
        writeMarkedOdt(path("made/endless.odt"), 60000);
        Service service = start({QStringLiteral("--jobs=1"), QStringLiteral("--queue=0"), QStringLiteral("--queue-wait=0"),
                                 QStringLiteral("--max-size=3000000"),
                                 QStringLiteral("--document-limit=5")});

        const QList<std::tuple<QByteArray, int, QByteArray>> cases{
            {request("POST /convert"), 400, "\"error\":\"empty-body\""},
            {request("POST /convert", readBytes(path("made/broken.odt"))), 400, "could not load"},
            {request("POST /convert", locked), 422, "protected by a password"},
            {request("POST /convert", {}, "application/octet-stream", 3000001), 413, "\"error\":\"too-large\""},
            {request("GET /convert"), 405, ""},
        };
        for (const auto &[sent, status, part] : cases) {
            const Reply reply = exchange(service.socket, sent);
            QCOMPARE(reply.status, status);
            QVERIFY2(reply.body.contains(part), reply.body.constData());
        }

        auto busy = std::async(std::launch::async, [&] {
            return exchange(service.socket, request("POST /convert", readBytes(path("made/endless.odt"))));
        });
        QVERIFY(service.waitForMetric("tarnwick_offices_busy", 1));
        const Reply full = exchange(service.socket, request("POST /convert", readBytes(path("docs/plain.odt"))));
        QCOMPARE(full.status, 503);
        QVERIFY(full.head.contains("Retry-After: 1"));
        // Refused once the headers are in: no "100 Continue", and no wait for the body.
        const Reply early = exchange(service.socket, "POST /convert HTTP/1.1\r\nHost: tarnwick\r\nExpect: 100-continue\r\n"
                                                     "Content-Length: 2000000\r\n\r\n");
        QCOMPARE(early.status, 503);
        QVERIFY2(early.body.contains("queue-full"), early.body.constData());
        const Reply limited = busy.get();
        QCOMPARE(limited.status, 504);
        QVERIFY2(limited.body.contains("longer than its limit of 5 seconds"), limited.body.constData());
    }

    // As many clients as there are places, each sending its next document as soon as
    // it has its answer: the queue is never full for them.
    void placesAreFreeBeforeTheAnswer()
    {
        Service service = start({QStringLiteral("--jobs=1"), QStringLiteral("--queue=1"), QStringLiteral("--queue-wait=0")});
        const QByteArray document = readBytes(path("docs/plain.odt"));
        const auto client = [&] {
            QList<int> statuses;
            for (int i = 0; i < 15; ++i)
                statuses << exchange(service.socket, request("POST /convert", document)).status;
            return statuses;
        };
        auto other = std::async(std::launch::async, client);
        const QList<int> statuses = client() + other.get();
        QCOMPARE(statuses, QList<int>(30, 200));
    }

    // Header blocks whose framing can be read two ways (a length given twice, white
    // space before a colon, a folded line, a transfer coding that does not end with
    // chunked, or one not known) are refused and the connection closed: nothing
    // after them is read as a request of its own.
    void forbiddenFramingIsRefusedAndClosed()
    {
        Service service = start({QStringLiteral("--jobs=1")});
        const QByteArray next = "GET /health HTTP/1.1\r\nHost: tarnwick\r\n\r\n";
        const std::pair<QByteArray, QByteArray> refused[] = {
            {"Content-Length: 5\r\nContent-Length: 45\r\n\r\nhello", "400 ambiguous-length"},
            {"Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", "400 ambiguous-length"},
            {"Content-Length : 5\r\n\r\nhello", "400 bad-header"},
            {"Content-Length:\r\n 5\r\n\r\nhello", "400 bad-header"},
            {"X-Note: a\r\n\tb\r\nContent-Length: 5\r\n\r\nhello", "400 bad-header"},
            {"Transfer-Encoding : chunked\r\nContent-Length: 5\r\n\r\nhello", "400 bad-header"},
            {"Transfer-Encoding: chunked, identity\r\n\r\n0\r\n\r\n", "400 bad-framing"},
            {"Transfer-Encoding: identity, chunked\r\n\r\n0\r\n\r\n", "501 unknown-coding"}};
        for (const auto &[framing, expected] : refused) {
            const Reply reply =
                exchange(service.socket, "POST /convert HTTP/1.1\r\nHost: tarnwick\r\n" + framing + next);
            const QByteArray seen = QByteArray::number(reply.status) + ' '
                                    + QString::fromUtf8(reply.body).section("\"error\":\"", 1).section('"', 0, 0).toUtf8();
            QCOMPARE(seen, expected);
            QVERIFY2(reply.closed && !reply.body.contains("HTTP/1.1"), reply.body.constData());
        }
        QCOMPARE(exchange(service.socket, request("GET /health")).status, 200); // still serving
    }

    // An office stopped in the middle of a document: the other office goes on
    // serving, and the document is tried again on a fresh office once the stopped
    // one is found hung.
    void stoppedOfficeIsReplacedWhileTheOtherServes()
    {
        Service service = start({QStringLiteral("--jobs=2"), QStringLiteral("--timeout=2")});
        const qint64 pid = service.process->processId();
        QVERIFY(QTest::qWaitFor([&] { return officesOf(pid).size() == 2; }, 120000));
        auto marked = std::async(std::launch::async, [&] {
            return exchange(service.socket, request("POST /convert", readBytes(path("docs/marks.odt"))));
        });
        QVERIFY(service.waitForMetric("tarnwick_offices_busy", 1));
        // The busy office is the one spending CPU time.
        auto cpuOf = [](qint64 office) { return ReadProcessStatus(office).value_or(ProcessStatus{}).cpuMs; };
        const QList<qint64> offices = officesOf(pid);
        const qint64 before[2] = {cpuOf(offices[0]), cpuOf(offices[1])};
        QTest::qWait(1000);
        const qint64 stopped = cpuOf(offices[0]) - before[0] > cpuOf(offices[1]) - before[1] ? offices[0] : offices[1];
        ::kill(stopped, SIGSTOP);

        const Reply other = exchange(service.socket, request("POST /convert", readBytes(path("docs/plain.odt"))));
        QCOMPARE(other.status, 200);
        QVERIFY(!service.readLog().contains("\"office\":" + QByteArray::number(stopped)));
        QCOMPARE(marked.get().status, 200);
        QCOMPARE(service.metric("tarnwick_office_starts_total{cause=\"ended\"}"), 1);
    }

    // Clients that keep a connection with a few bytes now and then are cut off,
    // and do not keep others from being served; a client that shuts down its
    // sending side after its request still gets its answer, and its office is not
    // ended for it.
    void tricklingClientsAreCutOffAndAHalfCloseIsAnswered()
    {
        Service service = start({QStringLiteral("--jobs=1"), QStringLiteral("--header-timeout=2"),
                                 QStringLiteral("--min-body-rate=2000")});
        // More connections at once than a thread each would allow.
        rlimit files{};
        ::getrlimit(RLIMIT_NOFILE, &files);
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
        if (files.rlim_cur < 1300)
            QSKIP("1,300 descriptors are needed");
        QList<int> trickling;
        for (int i = 0; i < 1100; ++i)
            trickling << sendRequest(service.socket, "POST /convert HTTP/1.1\r\n");
        const int slowBody = sendRequest(service.socket, "POST /convert HTTP/1.1\r\nHost: tarnwick\r\n"
                                                         "Content-Length: 100000\r\n\r\nPK");
        QCOMPARE(exchange(service.socket, request("GET /health")).status, 200);
        // Each goes on sending a header line (or a byte of the body) a second.
        const auto cutOff = [](int fd, const QByteArray &piece) {
            for (int second = 0; second < 30; ++second) {
                if (::send(fd, piece.constData(), size_t(piece.size()), MSG_NOSIGNAL) < 0)
                    return true;
                pollfd closed{fd, POLLIN, 0};
                if (::poll(&closed, 1, 1000) > 0)
                    return true;
            }
            return false;
        };
        QVERIFY(cutOff(trickling.first(), "X-Slow: 1\r\n"));
        QVERIFY(cutOff(slowBody, "x"));
        QVERIFY2(service.waitForLog("\"error\":\"cut-off\""), service.log.constData());
        for (const int fd : trickling + QList<int>{slowBody})
            ::close(fd);

        const int halfClosed =
            sendRequest(service.socket, request("POST /convert", readBytes(path("docs/marks.odt"))).replace(
                                            "Connection: close\r\n", ""));
        QVERIFY(service.waitForMetric("tarnwick_offices_busy", 1));
        ::shutdown(halfClosed, SHUT_WR);
        const Reply answered = readReply(halfClosed);
        QVERIFY2(answered.status == 200, service.readLog().right(3000).constData());
        QVERIFY(answered.body.contains("Marked xxx"));
        QCOMPARE(service.metric("tarnwick_office_starts_total{cause=\"cancelled\"}"), 0);
    }

    // SIGTERM: a request waiting in line is refused, an upload still arriving
    // after the grace is cut off, the documents already in are answered, and the
    // service exits 0 without waiting for the slow client.
    void stopCutsSlowUploadsOff()
    {
        Service service = start({QStringLiteral("--jobs=1"), QStringLiteral("--queue=1"),
                                 QStringLiteral("--queue-wait=300"), QStringLiteral("--stop-grace=2")});
        const auto converted = [&](const char *name) {
            return std::async(std::launch::async, [&, name] {
                return exchange(service.socket, request("POST /convert", readBytes(path(name))));
            });
        };
        auto converting = converted("docs/marks.odt");
        QVERIFY(service.waitForMetric("tarnwick_offices_busy", 1));
        const int upload =
            sendRequest(service.socket, "POST /convert HTTP/1.1\r\nHost: tarnwick\r\nContent-Length: 100000\r\n\r\nPK");
        QVERIFY(service.waitForMetric("tarnwick_uploads", 1));
        auto queued = converted("docs/plain.odt");
        QVERIFY(service.waitForMetric("tarnwick_places_taken", 2));
        auto waiting = converted("docs/plain.odt");
        QVERIFY(service.waitForMetric("tarnwick_places_waiting", 1));
        ::kill(service.process->processId(), SIGTERM);
        const Reply refused = waiting.get();
        QCOMPARE(refused.status, 503);
        QVERIFY2(refused.body.contains("\"stopping\""), refused.body.constData());
        // 4,000 bytes a second, for 25 seconds at most.
        bool cut = false;
        for (int i = 0; i < 50 && !cut; ++i) {
            pollfd closed{upload, POLLIN, 0};
            cut = ::send(upload, QByteArray(2000, 'x').constData(), 2000, MSG_NOSIGNAL) < 0 || ::poll(&closed, 1, 500) > 0;
        }
        QVERIFY(cut);
        ::close(upload);
        const Reply finished = converting.get();
        QCOMPARE(finished.status, 200);
        QVERIFY(finished.body.contains("Marked xxx"));
        QCOMPARE(queued.get().status, 200);
        QVERIFY(service.process->waitForFinished(120000));
        QCOMPARE(service.process->exitCode(), 0);
    }

    // Bodies that trickle in hold no office's place: a client with a whole
    // document is served beside them at once, and past --uploads the slowest
    // upload is cut off to let a newcomer in.
    void slowUploadsHoldNoPlace()
    {
        Service service = start({QStringLiteral("--jobs=1"), QStringLiteral("--queue=0"), QStringLiteral("--queue-wait=0"),
                                 QStringLiteral("--min-body-rate=0"), QStringLiteral("--uploads=3")});
        QList<int> slow;
        for (int i = 0; i < 5; ++i)
            slow << sendRequest(service.socket,
                                "POST /convert HTTP/1.1\r\nHost: tarnwick\r\nContent-Length: 10000000\r\n\r\nPK");
        QVERIFY(service.waitForMetric("tarnwick_uploads_cut_total", 2));
        QCOMPARE(service.metric("tarnwick_uploads"), 3);
        QCOMPARE(service.metric("tarnwick_upload_bytes"), 6);
        const Reply normal = exchange(service.socket, request("POST /convert", readBytes(path("docs/plain.odt"))));
        QCOMPARE(normal.status, 200);
        QVERIFY(normal.body.contains("Plain words"));
        QCOMPARE(service.metric("tarnwick_uploads_cut_total"), 3);
        QCOMPARE(service.metric("tarnwick_uploads"), 2);
        for (const int fd : slow)
            ::close(fd);
    }

    // Requests that find every place taken wait in line, and are served in the
    // order they came.
    void requestsInLineAreServedInTheirOrder()
    {
        writeOdt(path("docs/second.odt"), {"The second in line"});
        Service service = start({QStringLiteral("--jobs=1"), QStringLiteral("--queue=0"), QStringLiteral("--queue-wait=3600")});
        auto busy = std::async(std::launch::async, [&] {
            return exchange(service.socket, request("POST /convert", readBytes(path("docs/marks.odt"))));
        });
        QVERIFY(service.waitForMetric("tarnwick_offices_busy", 1));
        std::vector<std::future<Reply>> waiting;
        for (const char *name : {"docs/plain.odt", "docs/second.odt"}) {
            waiting.push_back(std::async(std::launch::async, [&, name] {
                return exchange(service.socket, request(QByteArray("POST /convert?name=") + name, readBytes(path(name))));
            }));
            QVERIFY(service.waitForMetric("tarnwick_places_waiting", qint64(waiting.size())));
        }
        QCOMPARE(busy.get().status, 200);
        const Reply first = waiting[0].get();
        const Reply second = waiting[1].get();
        QCOMPARE(first.status, 200);
        QVERIFY(first.body.contains("Plain words"));
        QCOMPARE(second.status, 200);
        QVERIFY(second.body.contains("The second in line"));
        const QByteArray firstIn = "\"bytes_in\":" + QByteArray::number(readBytes(path("docs/plain.odt")).size()) + ',';
        const QByteArray secondIn = "\"bytes_in\":" + QByteArray::number(readBytes(path("docs/second.odt")).size()) + ',';
        QVERIFY(firstIn != secondIn);
        QVERIFY(service.waitForLog(firstIn) && service.waitForLog(secondIn));
        QVERIFY2(service.log.indexOf(firstIn) < service.log.indexOf(secondIn), service.log.constData());
    }

    // A client that goes away frees the office for the next; SIGTERM lets the
    // request under way finish, ends the offices and exits 0.
    void clientGoneAndOrderlyStop()
    {
        Service service = start({QStringLiteral("--jobs=1")});
        const qint64 pid = service.process->processId();
        const int gone = sendRequest(service.socket, request("POST /convert", readBytes(path("docs/marks.odt"))));
        QVERIFY(service.waitForMetric("tarnwick_offices_busy", 1));
        ::close(gone);
        QVERIFY(service.waitForMetric("tarnwick_office_starts_total{cause=\"cancelled\"}", 1));
        QVERIFY(service.waitForLog("\"status\":499"));
        QCOMPARE(exchange(service.socket, request("POST /convert", readBytes(path("docs/plain.odt")))).status, 200);

        auto inFlight = std::async(std::launch::async, [&] {
            return exchange(service.socket, request("POST /convert", readBytes(path("docs/marks.odt"))));
        });
        QVERIFY(service.waitForMetric("tarnwick_offices_busy", 1));
        ::kill(pid, SIGTERM);
        const Reply finished = inFlight.get();
        QCOMPARE(finished.status, 200);
        QVERIFY(finished.body.contains("Marked xxx"));
        QVERIFY(service.process->waitForFinished(120000));
        QCOMPARE(service.process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.process->exitCode(), 0);
        QVERIFY(officesOf(pid).isEmpty());
        QVERIFY(!QFileInfo::exists(service.socket));
    }

    // A service killed with a document half uploaded leaves its folder; the next
    // start removes it before it serves, and nothing else: not the folder of a
    // service still running, nor another user's, nor one of another name.
    void leftOversOfAKilledServiceAreRemoved()
    {
        SKIP_UNLESS_ROOT("to make a folder of another user's");
        const auto serviceFolders = [&] {
            return QDir(path("tmp")).entryList({"tarnwick-serve-*"}, QDir::Dirs | QDir::NoDotAndDotDot);
        };
        Service running = start({QStringLiteral("--jobs=1")});
        const QStringList ofRunning = serviceFolders();
        Service killed = start({QStringLiteral("--jobs=1")});
        const qint64 pid = killed.process->processId();
        const int upload = sendRequest(killed.socket, request("POST /convert", "PK\x03\x04 the start", {}, 100000));
        QVERIFY(QTest::qWaitFor([&] {
            return !QDirIterator(path("tmp"), QDir::Files, QDirIterator::Subdirectories).next().isEmpty();
        }));
        QVERIFY(QTest::qWaitFor([&] { return officesOf(pid).size() == 1; }, 120000));
        const QList<qint64> offices = officesOf(pid);
        ::kill(pid, SIGKILL);
        for (const qint64 office : offices)
            ::kill(office, SIGKILL);
        QVERIFY(killed.process->waitForFinished(60000));
        ::close(upload);
        const QStringList left = serviceFolders();
        QCOMPARE(left.size(), 2);
        const QString ofOther = writeFile(path("tmp/tarnwick-serve-nobody/document"));
        QCOMPARE(::chown(QFile::encodeName(path("tmp/tarnwick-serve-nobody")).constData(), 65534, 65534), 0);
        const QString otherName = writeFile(path("tmp/tarnwick-serve-kept-it/document"));

        Service next = start({QStringLiteral("--jobs=1")});
        QVERIFY2(next.readLog().contains("\"event\":\"removed-leftovers\",\"folders\":1"), next.log.constData());
        QStringList now = serviceFolders();
        QVERIFY(QFileInfo::exists(ofOther) && QFileInfo::exists(otherName));
        now.removeAll("tarnwick-serve-nobody");
        now.removeAll("tarnwick-serve-kept-it");
        QCOMPARE(now.size(), 2);
        QVERIFY(now.contains(ofRunning.value(0)));
        QCOMPARE(exchange(running.socket, request("POST /convert", readBytes(path("docs/plain.odt")))).status, 200);
    }

    // Nothing of the service's inside reaches a client: a field showing the
    // document's path shows the client's name alone, and a full disk is the
    // service's fault (507), told without a path.
    void nothingOfTheServiceReachesTheClient()
    {
        writeOdtXml(path("docs/named.odt"),
                    "<text:p>At <text:file-name text:display=\"full\">x</text:file-name>.</text:p>");
        QStringList paragraphs;
        for (int i = 0; i < 4000; ++i)
            paragraphs << QStringLiteral("Paragraph %1 of a text that does not fit.").arg(i);
        writeOdt(path("docs/long.odt"), paragraphs);
        SKIP_UNLESS_ROOT("to mount a full disk");
        const QString disk = path("small-disk");
        const SmallDisk mounted(disk, "size=1m,mode=0700");
        if (!mounted.mounted())
            QSKIP("no tmpfs can be mounted here");
        Service service = start({QStringLiteral("--jobs=1")}, disk);

        const Reply named =
            exchange(service.socket, request("POST /convert?name=client.odt", readBytes(path("docs/named.odt"))));
        QCOMPARE(named.status, 200);
        QVERIFY2(named.body.contains("At client.odt.") && !named.body.contains('/'), named.body.constData());

        const QByteArray document = readBytes(path("docs/long.odt"));
        QFile filler(disk + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(4096, 'f')) == 4096 && filler.flush()) {
        }
        filler.close();
        QVERIFY(filler.resize(filler.size() - document.size() - 32768));
        const Reply full = exchange(service.socket, request("POST /convert", document));
        QCOMPARE(full.status, 507);
        QVERIFY2(!full.body.contains('/') && full.body.contains("disk is full"), full.body.constData());
    }
};

QTEST_GUILESS_MAIN(TestServeCommand)
#include "test_serve_command.moc"
