// tarnwick --serve against the batch and against unoconv, on the same documents.
//
//   bench_serve throughput [documents] [rounds] [clients] [unoconv documents]
//                                  1,000 small documents by 8 clients
//   bench_serve stop [documents]                            one office stopped (SIGSTOP) under load
//
// throughput: the service (started once, its offices warm, like a service that
// runs) takes the documents from `clients` concurrent clients over its unix
// socket; `tarnwick --convert` converts the same documents into a folder (its own
// office start included, as every batch pays it); `unoconv -f txt --stdout`, one
// process per document against one `unoconv --listener` started before; its
// office may die when clients convert at once, so they take turns (clients at once
// are shown once, at the end); a share of the documents may be given to it. The sides take turns, the order alternating from round to round. Printed:
// each run's rate, the medians, the ratios, the service's queue and conversion
// times (median and p99, from its log lines), and how many texts equal the batch's.
//
// stop: the service with --timeout 5 takes the documents from 8 clients; once a
// third are answered one office is stopped with SIGSTOP. Printed: the answers by
// status, the time of the slowest request and the median of the others.
#include "BenchSupport.h"
#include "assets/WriterDocuments.h"
#include "util/ProcessInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>

using namespace bench;

namespace {

struct Answer {
    int status = 0;
    QByteArray body;
    double seconds = 0;
};

Answer postDocument(const QString &socketPath, const QByteArray &document)
{
    QElapsedTimer clock;
    clock.start();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socketPath);
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return {};
    }
    const QByteArray request = "POST /convert HTTP/1.1\r\nHost: bench\r\nConnection: close\r\nContent-Length: "
                               + QByteArray::number(document.size()) + "\r\n\r\n" + document;
    [[maybe_unused]] const ssize_t sent = ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
    QByteArray answer;
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        answer.append(buffer, got);
    ::close(fd);
    const qsizetype end = answer.indexOf("\r\n\r\n");
    return {answer.left(answer.indexOf('\n')).split(' ').value(1).toInt(), end < 0 ? QByteArray() : answer.mid(end + 4),
            clock.nsecsElapsed() / 1e9};
}

// Runs `work(i)` for i in [0, count) on `clients` threads, each taking the next.
void concurrently(int count, int clients, const std::function<void(int)> &work)
{
    std::atomic<int> next{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&] {
            for (int i = next++; i < count; i = next++)
                work(i);
        });
    for (std::thread &thread : threads)
        thread.join();
}

double percentile(QList<double> values, double fraction)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min<qsizetype>(values.size() - 1, qsizetype(fraction * double(values.size())))];
}

QStringList generateDocuments(const QString &folder, int count)
{
    QDir().mkpath(folder);
    QStringList documents;
    for (int i = 0; i < count; ++i) {
        QStringList paragraphs;
        for (int p = 0; p < 5; ++p)
            paragraphs << QStringLiteral("Document %1, paragraph %2: a few ordinary words, ä ö ü.").arg(i).arg(p);
        documents << QDir(folder).filePath(QStringLiteral("doc%1.odt").arg(i, 5, 10, QLatin1Char('0')));
        writeOdt(documents.back(), paragraphs);
    }
    return documents;
}

QProcessEnvironment environmentWithHome(const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.remove(QStringLiteral("XDG_CACHE_HOME"));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    return environment;
}

// The service, started once and left running.
class Service {
public:
    Service(const QString &work, QStringList options) : m_socket(QDir(work).filePath(QStringLiteral("serve.socket")))
    {
        m_log = QDir(work).filePath(QStringLiteral("serve.log"));
        m_process.setProcessEnvironment(environmentWithHome(QDir(work).filePath(QStringLiteral("home"))));
        m_process.setStandardErrorFile(m_log);
        m_process.start(QStringLiteral(TARNWICK_BINARY),
                        QStringList{QStringLiteral("--serve"), QStringLiteral("--listen"), "unix:" + m_socket} + options);
        while (!QFile::exists(m_socket))
            QThread::msleep(50);
    }
    ~Service()
    {
        m_process.terminate();
        m_process.waitForFinished(120000);
    }
    const QString &socket() const { return m_socket; }
    qint64 pid() const { return m_process.processId(); }
    // The log lines of /convert requests from line `from` on.
    QList<QJsonObject> conversions(qsizetype from) const
    {
        QList<QJsonObject> lines;
        const QList<QByteArray> all = readBytes(m_log).split('\n');
        for (qsizetype i = from; i < all.size(); ++i) {
            const QJsonObject line = QJsonDocument::fromJson(all[i]).object();
            if (line[QStringLiteral("path")].toString() == QLatin1String("/convert"))
                lines << line;
        }
        return lines;
    }
    qsizetype logLines() const { return readBytes(m_log).count('\n'); }

private:
    static QByteArray readBytes(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString m_socket;
    QString m_log;
    QProcess m_process;
};

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int throughput(const QString &work, int count, int rounds, int clients, int peerCount)
{
    const QStringList documents = generateDocuments(QDir(work).filePath(QStringLiteral("docs")), count);
    QList<QByteArray> bodies;
    for (const QString &document : documents)
        bodies << fileBytes(document);
    const int jobs = std::clamp(QThread::idealThreadCount(), 1, 4);
    std::printf("throughput: %d documents (5 paragraphs each), %d clients, --jobs %d\n", count, clients, jobs);
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));

    const QString batchHome = QDir(work).filePath(QStringLiteral("batch-home"));
    auto runBatch = [&](const QString &out) {
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        QProcess batch;
        batch.setProcessEnvironment(environmentWithHome(batchHome));
        batch.setStandardOutputFile(QProcess::nullDevice());
        batch.setStandardErrorFile(QProcess::nullDevice());
        return millisecondsOf([&] {
                   batch.start(QStringLiteral(TARNWICK_BINARY),
                               QStringList{QStringLiteral("--convert"), QStringLiteral("--quiet"), QStringLiteral("--jobs"),
                                           QString::number(jobs), QStringLiteral("--out"), out}
                                   + documents);
                   batch.waitForFinished(-1);
               })
               / 1000;
    };
    // The batch's texts are the reference.
    const QString reference = QDir(work).filePath(QStringLiteral("batch-out"));
    runBatch(reference);
    QList<QByteArray> expected;
    for (const QString &document : documents)
        expected << fileBytes(QDir(reference).filePath(QFileInfo(document).completeBaseName() + ".txt"));

    Service service(work, {QStringLiteral("--jobs"), QString::number(jobs), QStringLiteral("--queue"), QString::number(clients)});
    // Warm: every office has answered once.
    concurrently(jobs * 2, jobs, [&](int i) { postDocument(service.socket(), bodies[i]); });

    const QString unoconvHome = QDir(work).filePath(QStringLiteral("unoconv-home"));
    QDir().mkpath(unoconvHome);
    QProcess listener;
    listener.setProcessEnvironment(environmentWithHome(unoconvHome));
    listener.setStandardErrorFile(QProcess::nullDevice());
    const QByteArray home = QFile::encodeName(unoconvHome);
    auto unoconv = [&](const QString &document) {
        // --no-launch: a client that finds no listener fails instead of starting an
        // office of its own (which would keep our pipe open).
        const QByteArray command = "HOME='" + home + "' /usr/bin/python3 /usr/bin/unoconv --no-launch -f txt --stdout '"
                                   + QFile::encodeName(document) + "' 2>/dev/null";
        QByteArray text;
        if (FILE *pipe = ::popen(command.constData(), "r")) {
            char buffer[65536];
            size_t got;
            while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
                text.append(buffer, qsizetype(got));
            ::pclose(pipe);
        }
        return text;
    };
    // Ready once it answers. On a new profile its office restarts itself once,
    // which ends the listener: it is started again.
    for (int tries = 0; tries < 120 && unoconv(documents[0]) != expected[0]; ++tries) {
        if (listener.state() == QProcess::NotRunning || listener.waitForFinished(0)) {
            listener.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("/usr/bin/unoconv"), QStringLiteral("--listener")});
        }
        QThread::sleep(1);
    }

    std::mutex oneAtATime;

    QList<double> batchRates, serviceRates, unoconvRates, queued, converting;
    for (int round = 0; round < rounds; ++round) {
        QList<int> order{0, 1, 2};
        if (round % 2)
            std::reverse(order.begin(), order.end());
        for (const int side : order) {
            if (side == 0) {
                const double seconds = runBatch(QDir(work).filePath(QStringLiteral("batch-run")));
                batchRates << count / seconds;
                std::printf("round %d batch    %7.1f s  %6.1f documents/s  load %s\n", round + 1, seconds,
                            count / seconds, qPrintable(loadAverage()));
            } else if (side == 1) {
                std::vector<Answer> answers(static_cast<size_t>(count));
                const qsizetype from = service.logLines();
                const double seconds = millisecondsOf([&] {
                    concurrently(count, clients, [&](int i) { answers[size_t(i)] = postDocument(service.socket(), bodies[i]); });
                }) / 1000;
                int ok = 0, same = 0;
                for (int i = 0; i < count; ++i) {
                    ok += answers[size_t(i)].status == 200;
                    same += answers[size_t(i)].body == expected[i];
                }
                for (const QJsonObject &line : service.conversions(from)) {
                    queued << line[QStringLiteral("queued")].toDouble();
                    converting << line[QStringLiteral("converting")].toDouble();
                }
                serviceRates << count / seconds;
                std::printf("round %d service  %7.1f s  %6.1f documents/s  %d answered 200, %d texts equal the "
                            "batch's  load %s\n",
                            round + 1, seconds, count / seconds, ok, same, qPrintable(loadAverage()));
            } else {
                const int peerDocuments = std::min(count, peerCount);
                QList<QByteArray> texts(peerDocuments);
                const double seconds = millisecondsOf([&] {
                    concurrently(peerDocuments, clients, [&](int i) {
                        const std::lock_guard lock(oneAtATime);
                        texts[i] = unoconv(documents[i]);
                    });
                }) / 1000;
                int same = 0;
                for (int i = 0; i < peerDocuments; ++i) {
                    same += texts[i] == expected[i];
                    if (texts[i] != expected[i] && same == i)
                        std::printf("  first text unlike the batch's, %s: %lld bytes against %lld: %s\n",
                                    qPrintable(QFileInfo(documents[i]).fileName()), static_cast<long long>(texts[i].size()),
                                    static_cast<long long>(expected[i].size()), texts[i].left(60).toPercentEncoding(" ").constData());
                }
                unoconvRates << peerDocuments / seconds;
                std::printf("round %d unoconv  %7.1f s  %6.1f documents/s  %d of %d texts equal the batch's  load %s\n",
                            round + 1, seconds, peerDocuments / seconds, same, peerDocuments, qPrintable(loadAverage()));
            }
        }
    }
    // Its listener's office crashes when clients convert at once ("Office probably
    // died", "Binary URP bridge disposed"), which is why its clients took turns
    // above, as a service on it must: shown once, on a few documents.
    {
        const int few = std::min<int>(count, 48);
        QList<QByteArray> texts(few);
        concurrently(few, clients, [&](int i) { texts[i] = unoconv(documents[i]); });
        int same = 0;
        for (int i = 0; i < few; ++i)
            same += texts[i] == expected[i];
        std::printf("unoconv, %d clients at once: %d of %d texts equal the batch's\n", clients, same, few);
    }
    listener.terminate();
    listener.waitForFinished(30000);
    // The listener leaves its office behind: it is found by its home.
    for (const qint64 pid : ProcessIds()) {
        const auto status = ReadProcessStatus(pid);
        if (status && status->name == "soffice.bin"
            && fileBytes(QStringLiteral("/proc/%1/environ").arg(pid)).split('\0').contains("HOME=" + home))
            ::kill(pid, SIGTERM);
    }
    std::printf("\nload average at end: %s\n", qPrintable(loadAverage()));
    std::printf("median rate: service %.1f, batch %.1f, unoconv %.1f documents/s\n", median(serviceRates),
                median(batchRates), median(unoconvRates));
    std::printf("service / batch %.2f (goal 0.9), service / unoconv %.2f (goal 2)\n",
                ratio(median(serviceRates), median(batchRates)), ratio(median(serviceRates), median(unoconvRates)));
    std::printf("service, per request: queued median %.3f s p99 %.3f s; converting median %.3f s p99 %.3f s\n",
                median(queued), percentile(queued, 0.99), median(converting), percentile(converting, 0.99));
    return 0;
}

int stop(const QString &work, int count)
{
    const QStringList documents = generateDocuments(QDir(work).filePath(QStringLiteral("docs")), count);
    std::printf("stop: %d documents, 8 clients, --jobs 2 --timeout 5; one office stopped after a third\n", count);
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));
    Service service(work, {QStringLiteral("--jobs=2"), QStringLiteral("--timeout=5")});
    concurrently(4, 2, [&](int i) { postDocument(service.socket(), fileBytes(documents[i])); });
    std::vector<Answer> answers(static_cast<size_t>(count));
    std::atomic<int> answered{0};
    std::atomic<qint64> stopped{0};
    concurrently(count, 8, [&](int i) {
        answers[size_t(i)] = postDocument(service.socket(), fileBytes(documents[i]));
        if (++answered == count / 3) {
            for (const qint64 pid : ProcessIds()) {
                const auto status = ReadProcessStatus(pid);
                if (status && status->name == "soffice.bin" && status->parent == service.pid()) {
                    ::kill(pid, SIGSTOP);
                    stopped = pid;
                    break;
                }
            }
        }
    });
    QMap<int, int> byStatus;
    QList<double> times;
    for (const Answer &answer : answers) {
        ++byStatus[answer.status];
        times << answer.seconds;
    }
    std::sort(times.begin(), times.end());
    const double slowest = times.takeLast();
    std::printf("office %lld stopped; answers:", static_cast<long long>(stopped.load()));
    for (auto it = byStatus.begin(); it != byStatus.end(); ++it)
        std::printf(" %d x %d", it.value(), it.key());
    std::printf("\nslowest request %.2f s; the others: median %.3f s, p99 %.3f s, the next slowest %.2f s\n", slowest,
                median(times), percentile(times, 0.99), times.last());
    std::printf("load average at end: %s\n", qPrintable(loadAverage()));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each line as it comes, also into a file
    QTemporaryDir work;
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (what == QLatin1String("throughput"))
        return throughput(work.path(), argc > 2 ? std::max(1, atoi(argv[2])) : 1000,
                          argc > 3 ? std::max(1, atoi(argv[3])) : 2, argc > 4 ? std::max(1, atoi(argv[4])) : 8,
                          argc > 5 ? std::max(1, atoi(argv[5])) : 1000);
    if (what == QLatin1String("stop"))
        return stop(work.path(), argc > 2 ? std::max(1, atoi(argv[2])) : 300);
    std::fprintf(stderr, "usage: bench_serve throughput [documents] [rounds] [clients] [unoconv documents] | stop [documents]\n");
    return 2;
}
