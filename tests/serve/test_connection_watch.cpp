// The watch over the service's connections, on socket pairs: who is cut off, when
// a waiting client counts as gone, and what a stop does.
#include "serve/ConnectionWatch.h"

#include <QTest>
#include <atomic>
#include <poll.h>
#include <sys/socket.h>

namespace {

using namespace std::chrono_literals;

// A connection's two ends: the service's, watched, and the client's.
struct Pair {
    int service = -1;
    int client = -1;
    Pair() { ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, &service); }
    ~Pair()
    {
        ::close(service);
        ::close(client);
    }
    // The service's end was shut down: the client reads the end of the file.
    bool cutOff(int withinMs = 5000) const
    {
        pollfd readable{client, POLLIN, 0};
        char byte;
        return ::poll(&readable, 1, withinMs) > 0 && ::recv(client, &byte, 1, MSG_DONTWAIT) == 0;
    }
};

} // namespace

class TestConnectionWatch : public QObject {
    Q_OBJECT

private slots:
    // Headers that do not come in time, and a body slower than the rate, are cut
    // off with their reason; a body fast enough, a request that waits and an
    // answer going out are not.
    void slowClientsAreCutOff()
    {
        ConnectionWatch watch({300ms, 1000});
        Pair noHeaders, slowBody, fastBody, waiting, answering;
        ConnectionWatch::Connection *watched[5];
        const Pair *pairs[5] = {&noHeaders, &slowBody, &fastBody, &waiting, &answering};
        for (int i = 0; i < 5; ++i)
            watched[i] = watch.opened(pairs[i]->service);
        for (int i = 1; i < 5; ++i)
            watch.answering(watched[i]);
        watch.waiting(watched[3], [] {});
        QVERIFY(noHeaders.cutOff());
        QVERIFY(watch.cutReason(watched[0]).contains("headers"));
        watch.headersRead(watched[1]);
        watch.headersRead(watched[2]);
        for (int tenth = 0; tenth < 10; ++tenth) {
            watch.bodyRead(watched[1], 10);
            watch.bodyRead(watched[2], 2000); // ten times the rate, and more
            QTest::qWait(100);
        }
        QVERIFY(slowBody.cutOff());
        QVERIFY(watch.cutReason(watched[1]).contains("slower than 1000 bytes"));
        for (int i : {2, 3, 4})
            QVERIFY2(!pairs[i]->cutOff(0), qPrintable(watch.cutReason(watched[i])));
        // A kept-alive connection has the same bound for its next request.
        watch.requestDone(watched[4]);
        QVERIFY(answering.cutOff());
        for (ConnectionWatch::Connection *connection : watched)
            watch.closed(connection);
    }

    // While a request waits, a client that hangs up is told once, one that only
    // shuts down its sending side is not, and a deadline runs its own callback.
    void hangUpIsToldOnceAndHalfCloseNot()
    {
        ConnectionWatch watch({60s, 0});
        Pair hangsUp, halfCloses, late;
        std::atomic<int> hungUp{0}, halfHungUp{0}, lateRan{0};
        ConnectionWatch::Connection *watched[3] = {watch.opened(hangsUp.service), watch.opened(halfCloses.service),
                                                   watch.opened(late.service)};
        watch.waiting(watched[0], [&] { ++hungUp; });
        watch.waiting(watched[1], [&] { ++halfHungUp; });
        watch.waiting(
            watched[2], [] {}, ConnectionWatch::Clock::now() + 200ms, [&] { ++lateRan; });
        ::close(std::exchange(hangsUp.client, -1));
        ::shutdown(halfCloses.client, SHUT_WR);
        QTRY_COMPARE(hungUp.load(), 1);
        QTRY_COMPARE(lateRan.load(), 1);
        QTest::qWait(500);
        QCOMPARE(hungUp.load(), 1);
        QCOMPARE(halfHungUp.load(), 0);
        for (ConnectionWatch::Connection *connection : watched) {
            watch.waited(connection);
            watch.closed(connection);
        }
    }

    // A stop cuts off, after its grace, what is still arriving, but not a request
    // whose document is under way.
    void stopCutsArrivingUploads()
    {
        ConnectionWatch watch({60s, 0});
        Pair uploading, converting;
        ConnectionWatch::Connection *upload = watch.opened(uploading.service);
        ConnectionWatch::Connection *waiting = watch.opened(converting.service);
        watch.headersRead(upload);
        watch.waiting(waiting, [] {});
        watch.stopping(300ms);
        QVERIFY(!uploading.cutOff(100));
        QVERIFY(uploading.cutOff());
        QVERIFY(watch.cutReason(upload).contains("stop"));
        QVERIFY(!converting.cutOff(500));
        watch.waited(waiting);
        watch.closed(upload);
        watch.closed(waiting);
    }
};

QTEST_GUILESS_MAIN(TestConnectionWatch)
#include "test_connection_watch.moc"
