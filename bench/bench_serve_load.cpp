// tarnwick --serve under hostile and crowded clients, over TCP on loopback.
//
//   bench_serve_load trickle [levels...]       default 1000 2500 5000 8000
//   bench_serve_load crowd [clients] [requests] [corpus folder] [rounds]
//                                              default 50 200 ../shared/corpus 1
//
// trickle: N connections each send a request line and then one header line a
// second, never ending their headers; a connection the service cuts off is opened
// again at once, so that N stay trickling. Meanwhile a probe asks GET /health
// twice a second and POSTs a small document every two seconds. Printed per level:
// the probes' median and slowest answer, how many answered within 2 s, and how
// many trickling connections were cut off; the ratio of the medians against the
// same probes with nothing trickling, measured first in the same run.
//
// crowd: `clients` clients each send documents of the corpus (taken in turn) with
// `Expect: 100-continue`, as curl does for a large body; a 503 is tried again after
// its Retry-After, at most 200 times. The service runs with its defaults against
// the same with --queue-wait 0 (refused at once, before the body, but no waiting
// line), the two sides alternating. Printed per side: answers by status, the bytes
// clients sent for requests that were refused, the longest and the median time from
// a request's first try to its answer, and requests never served.
#include "BenchSupport.h"
#include "assets/WriterDocuments.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>

using namespace bench;

namespace {

// The service on 127.0.0.1, on a port the system chooses.
class Service {
public:
    Service(const QString &work, const QStringList &options)
        : m_logPath(QDir(work).filePath(QStringLiteral("serve-%1.log").arg(++s_started)))
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), QDir(work).filePath(QStringLiteral("home")));
        m_process.setProcessEnvironment(environment);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        // Into a file: a pipe nobody reads would stop the service once full.
        m_process.setStandardErrorFile(m_logPath);
        m_process.start(QStringLiteral(TARNWICK_BINARY),
                        QStringList{QStringLiteral("--serve"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")}
                            + options);
        const QRegularExpression listening(QStringLiteral("\"address\":\"127.0.0.1:(\\d+)\""));
        for (int tries = 0; tries < 600 && m_port == 0; ++tries) {
            QThread::msleep(100);
            m_port = listening.match(QString::fromUtf8(log())).captured(1).toInt();
        }
    }
    ~Service()
    {
        m_process.terminate();
        m_process.waitForFinished(120000);
    }
    int port() const { return m_port; }
    // Its log lines so far.
    QByteArray log() const
    {
        QFile file(m_logPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    static inline int s_started = 0;
    QString m_logPath;
    QProcess m_process;
    int m_port = 0;
};

int connectTo(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads until the connection closes or `ms` pass; what came.
QByteArray readAll(int fd, int ms)
{
    QByteArray answer;
    char buffer[65536];
    QElapsedTimer clock;
    clock.start();
    pollfd readable{fd, POLLIN, 0};
    while (clock.elapsed() < ms && ::poll(&readable, 1, int(ms - clock.elapsed())) > 0) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        answer.append(buffer, got);
    }
    return answer;
}

// The final answer's status, past any "100 Continue".
int statusOf(QByteArray answer)
{
    while (answer.startsWith("HTTP/1.1 100") && answer.contains("\r\n\r\n"))
        answer = answer.mid(answer.indexOf("\r\n\r\n") + 4);
    return answer.left(answer.indexOf('\n')).split(' ').value(1).toInt();
}

// One request on a connection of its own; its status and seconds (status 0: no answer in 10 s).
std::pair<int, double> probe(int port, const QByteArray &request)
{
    QElapsedTimer clock;
    clock.start();
    const int fd = connectTo(port);
    if (fd < 0)
        return {0, clock.nsecsElapsed() / 1e9};
    [[maybe_unused]] const ssize_t sent = ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
    const int status = statusOf(readAll(fd, 10000));
    ::close(fd);
    return {status, clock.nsecsElapsed() / 1e9};
}

// To the hard limit, or to 65,536 where the hard limit may be raised (root); the
// service started from here raises its own the same way.
void raiseFileLimit()
{
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    const rlimit wanted{std::max<rlim_t>(files.rlim_max, 65536), std::max<rlim_t>(files.rlim_max, 65536)};
    if (::setrlimit(RLIMIT_NOFILE, &wanted) != 0) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
}

int trickle(const QString &work, QList<int> levels)
{
    raiseFileLimit();
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    std::printf("trickle: descriptors %llu; load average at start: %s\n", (unsigned long long)files.rlim_cur,
                qPrintable(loadAverage()));
    const QString document = QDir(work).filePath(QStringLiteral("small.odt"));
    writeOdt(document, {QStringLiteral("A small document among slow clients.")});
    QFile file(document);
    file.open(QIODevice::ReadOnly);
    const QByteArray body = file.readAll();
    const QByteArray health = "GET /health HTTP/1.1\r\nHost: bench\r\nConnection: close\r\n\r\n";
    const QByteArray convert = "POST /convert HTTP/1.1\r\nHost: bench\r\nConnection: close\r\nContent-Length: "
                               + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    Service service(work, {QStringLiteral("--jobs"), QStringLiteral("1")});
    probe(service.port(), convert); // the office is up

    std::printf("%8s %10s %10s %10s %10s %8s %8s\n", "trickle", "median ms", "slowest ms", "in 2 s", "converted",
                "cut off", "ratio");
    double baseline = 0;
    levels.prepend(0);
    for (const int level : levels) {
        std::vector<int> fds;
        std::atomic<bool> holding{true};
        std::atomic<int> cut{0};
        // The trickling side: opened up to the level, then a header line a second each.
        std::thread trickler([&] {
            auto open = [&] {
                const int fd = connectTo(service.port());
                if (fd >= 0)
                    [[maybe_unused]] const ssize_t sent = ::send(fd, "POST /convert HTTP/1.1\r\n", 24, MSG_NOSIGNAL);
                return fd;
            };
            for (int i = 0; i < level && holding; ++i)
                fds.push_back(open());
            while (holding) {
                for (int &fd : fds) {
                    pollfd closed{fd, POLLIN, 0};
                    if (fd < 0 || ::poll(&closed, 1, 0) > 0 || ::send(fd, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL) < 0) {
                        if (fd >= 0)
                            ::close(fd);
                        ++cut;
                        fd = open();
                    }
                }
                QThread::msleep(1000);
            }
            for (const int fd : fds)
                if (fd >= 0)
                    ::close(fd);
        });
        QThread::sleep(level == 0 ? 1 : 5); // the connections are open
        QList<double> seconds;
        int inTime = 0, converted = 0, probes = 0;
        QElapsedTimer holdClock;
        holdClock.start();
        while (holdClock.elapsed() < 20000) {
            const bool post = probes % 4 == 3;
            const auto [status, took] = probe(service.port(), post ? convert : health);
            ++probes;
            seconds << took;
            inTime += status == 200 && took <= 2.0;
            converted += post && status == 200;
            QThread::msleep(500);
        }
        holding = false;
        trickler.join();
        const double middle = median(seconds);
        if (level == 0)
            baseline = middle;
        std::printf("%8d %10.2f %10.1f %6d/%-3d %10d %8d %8.2f\n", level, middle * 1000,
                    *std::max_element(seconds.begin(), seconds.end()) * 1000, inTime, probes, converted, cut.load(),
                    ratio(middle, baseline));
    }
    std::printf("load average at end: %s\n", qPrintable(loadAverage()));
    return 0;
}

struct CrowdResult {
    std::map<int, int> statuses; // final answers
    qint64 refusedBytes = 0;     // body bytes the clients sent for requests answered 503
    qint64 refusedBytesRead = 0; // of which the service read (its log's bytes_in)
    int refusals = 0;
    int neverServed = 0;
    QList<double> waits; // first try to final answer
};

// One try: headers with Expect: 100-continue, the body once the service asks for it
// (or after a second without an answer, as curl does).
int tryOnce(int port, const QByteArray &body, qint64 &bodySent)
{
    bodySent = 0;
    const int fd = connectTo(port);
    if (fd < 0)
        return 0;
    const QByteArray head = "POST /convert HTTP/1.1\r\nHost: bench\r\nConnection: close\r\nExpect: 100-continue\r\n"
                            "Content-Length: "
                            + QByteArray::number(body.size()) + "\r\n\r\n";
    [[maybe_unused]] const ssize_t sent = ::send(fd, head.constData(), size_t(head.size()), MSG_NOSIGNAL);
    QByteArray answer;
    pollfd readable{fd, POLLIN, 0};
    char buffer[4096];
    if (::poll(&readable, 1, 1000) > 0) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0)
            answer.append(buffer, got);
    }
    if (answer.isEmpty() || answer.startsWith("HTTP/1.1 100")) {
        answer.clear();
        for (qsizetype at = 0; at < body.size();) {
            const ssize_t wrote = ::send(fd, body.constData() + at, size_t(body.size() - at), MSG_NOSIGNAL);
            if (wrote <= 0)
                break;
            at += wrote;
            bodySent = at;
        }
    }
    answer += readAll(fd, 600000);
    ::close(fd);
    return statusOf(answer);
}

CrowdResult crowdRun(const QString &work, const QList<QByteArray> &documents, int clients, int requests,
                     const QStringList &options)
{
    Service service(work, options);
    CrowdResult result;
    std::mutex mutex;
    std::atomic<int> next{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&] {
            for (int i = next++; i < requests; i = next++) {
                const QByteArray &body = documents[i % documents.size()];
                QElapsedTimer clock;
                clock.start();
                int status = 0, refusals = 0;
                qint64 refusedBytes = 0;
                for (int attempt = 0; attempt < 200; ++attempt) {
                    qint64 sent = 0;
                    status = tryOnce(service.port(), body, sent);
                    if (status != 503)
                        break;
                    ++refusals;
                    refusedBytes += sent;
                    QThread::msleep(1000); // Retry-After: 1
                }
                const std::lock_guard lock(mutex);
                ++result.statuses[status];
                result.refusals += refusals;
                result.refusedBytes += refusedBytes;
                result.neverServed += status == 503;
                result.waits << clock.nsecsElapsed() / 1e9;
            }
        });
    for (std::thread &thread : threads)
        thread.join();
    for (const QByteArray &line : service.log().split('\n'))
        if (line.contains("\"status\":503"))
            result.refusedBytesRead += QJsonDocument::fromJson(line).object()[QStringLiteral("bytes_in")].toInteger();
    return result;
}

int crowd(const QString &work, int clients, int requests, const QString &corpus, int rounds)
{
    raiseFileLimit();
    QList<QByteArray> documents;
    for (const QFileInfo &entry : QDir(corpus).entryInfoList(
             {QStringLiteral("*.odt"), QStringLiteral("*.ott"), QStringLiteral("*.sxw"), QStringLiteral("*.stw")},
             QDir::Files, QDir::Name)) {
        QFile file(entry.filePath());
        if (file.open(QIODevice::ReadOnly))
            documents << file.readAll();
    }
    if (documents.isEmpty()) {
        std::fprintf(stderr, "no documents in %s\n", qPrintable(corpus));
        return 2;
    }
    std::printf("crowd: %d clients, %d requests over %lld documents of %s, %d round(s); load average at start: %s\n",
                clients, requests, (long long)documents.size(), qPrintable(corpus), rounds, qPrintable(loadAverage()));
    const QList<std::pair<const char *, QStringList>> sides{
        {"queue-wait 5 (default)", {}}, {"queue-wait 0", {QStringLiteral("--queue-wait"), QStringLiteral("0")}}};
    std::map<int, QList<double>> longest, middle;
    for (int round = 0; round < rounds; ++round) {
        for (int s = 0; s < 2; ++s) {
            const int side = round % 2 ? 1 - s : s;
            const CrowdResult result = crowdRun(work, documents, clients, requests, sides[side].second);
            QString statuses;
            for (const auto &[status, count] : result.statuses)
                statuses += QStringLiteral(" %1:%2").arg(status).arg(count);
            const double slowest = *std::max_element(result.waits.begin(), result.waits.end());
            longest[side] << slowest;
            middle[side] << median(result.waits);
            std::printf("%-24s answers%s; refused tries %d, body bytes sent by them %lld, read by the service "
                        "%lld; never served %d; wait median %.1f s, longest %.1f s\n",
                        sides[side].first, qPrintable(statuses), result.refusals, (long long)result.refusedBytes,
                        (long long)result.refusedBytesRead, result.neverServed, median(result.waits), slowest);
        }
    }
    std::printf("medians over rounds: longest wait %.1f s against %.1f s (ratio %.2f); median wait %.1f s against "
                "%.1f s\n",
                median(longest[0]), median(longest[1]), ratio(median(longest[0]), median(longest[1])),
                median(middle[0]), median(middle[1]));
    std::printf("load average at end: %s\n", qPrintable(loadAverage()));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QTemporaryDir work;
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (what == QLatin1String("trickle")) {
        QList<int> levels;
        for (int i = 2; i < argc; ++i)
            levels << std::max(1, atoi(argv[i]));
        return trickle(work.path(), levels.isEmpty() ? QList<int>{1000, 2500, 5000, 8000} : levels);
    }
    if (what == QLatin1String("crowd"))
        return crowd(work.path(), argc > 2 ? std::max(1, atoi(argv[2])) : 50, argc > 3 ? std::max(1, atoi(argv[3])) : 200,
                     argc > 4 ? QString::fromLocal8Bit(argv[4]) : QStringLiteral(TARNWICK_SOURCE_DIR "/../shared/corpus"),
                     argc > 5 ? std::max(1, atoi(argv[5])) : 1);
    std::fprintf(stderr, "usage: bench_serve_load trickle [levels...] | crowd [clients] [requests] [corpus] [rounds]\n");
    return 2;
}
