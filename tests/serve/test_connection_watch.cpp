// The watch over the service's connections, on socket pairs and a clock the test
// moves by hand: who is cut off and not before when, when a waiting client counts
// as gone, and what a stop does.
#include "serve/ConnectionWatch.h"
#include "support/ManualClock.h"

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
    bool cutOff() const
    {
        pollfd readable{client, POLLIN, 0};
        char byte;
        return ::poll(&readable, 1, 0) > 0 && ::recv(client, &byte, 1, MSG_DONTWAIT) == 0;
    }
};

// Moves the clock and has the watch look at it.
void pass(ManualClock &clock, ConnectionWatch &watch, Clock::Duration time)
{
    clock.advance(time);
    watch.checkTimes();
}

} // namespace

class TestConnectionWatch : public QObject {
    Q_OBJECT

private slots:
    // Headers that do not come within their bound, a body slower than the rate,
    // and one that is not whole within the upload's time, are cut off with their
    // reason, and not a moment before; a request that waits and an answer going
    // out are not cut off at all.
    void slowClientsAreCutOffAtTheirBound()
    {
        ManualClock clock;
        ConnectionWatch watch({10s, 1000, 60s, 64}, clock);
        Pair noHeaders, slowBody, fastBody, waiting, answering;
        ConnectionWatch::Connection *watched[5];
        const Pair *pairs[5] = {&noHeaders, &slowBody, &fastBody, &waiting, &answering};
        for (int i = 0; i < 5; ++i)
            watched[i] = watch.opened(pairs[i]->service);
        for (int i = 1; i < 5; ++i)
            watch.answering(watched[i]);
        watch.waiting(watched[3], [] {});
        pass(clock, watch, 10s);
        QVERIFY(!noHeaders.cutOff());
        pass(clock, watch, 1ms);
        QVERIFY(noHeaders.cutOff());
        QVERIFY(watch.cutReason(watched[0]).contains("headers"));

        // The rate counts once the headers' bound has passed since the body began.
        watch.uploadStarts(watched[1]);
        watch.uploadStarts(watched[2]);
        for (int second = 0; second < 10; ++second) {
            watch.bodyRead(watched[1], 10);
            watch.bodyRead(watched[2], 2000);
            pass(clock, watch, 1s);
        }
        QVERIFY(!slowBody.cutOff());
        pass(clock, watch, 1ms);
        QVERIFY(slowBody.cutOff());
        QVERIFY(watch.cutReason(watched[1]).contains("slower than 1000 bytes"));
        QCOMPARE(watch.uploads().count, 1);
        QCOMPARE(watch.uploads().bytes, 20000);
        for (int second = 10; second < 59; ++second) {
            watch.bodyRead(watched[2], 2000);
            pass(clock, watch, 1s);
        }
        pass(clock, watch, 999ms); // 60 seconds since the body began
        QVERIFY2(!fastBody.cutOff(), qPrintable(watch.cutReason(watched[2])));
        pass(clock, watch, 1ms);
        QVERIFY(fastBody.cutOff());
        QVERIFY(watch.cutReason(watched[2]).contains("within 60 seconds"));
        pass(clock, watch, 1h);
        for (int i : {3, 4})
            QVERIFY2(!pairs[i]->cutOff(), qPrintable(watch.cutReason(watched[i])));

        // A kept-alive connection has the same bound for its next request.
        watch.requestDone(watched[4]);
        pass(clock, watch, 10s);
        QVERIFY(!answering.cutOff());
        pass(clock, watch, 1ms);
        QVERIFY(answering.cutOff());
        for (ConnectionWatch::Connection *connection : watched)
            watch.closed(connection);
    }

    // While a request waits, a client that hangs up is told once, one that only
    // shuts down its sending side is not, and a deadline runs its own callback
    // once it has passed, not before.
    void waitingClientsHangUpOrAreLate()
    {
        ManualClock clock;
        ConnectionWatch watch({60s, 0}, clock);
        Pair hangsUp, halfCloses, late;
        std::atomic<int> hungUp{0}, halfHungUp{0}, lateRan{0};
        ConnectionWatch::Connection *watched[3] = {watch.opened(hangsUp.service), watch.opened(halfCloses.service),
                                                   watch.opened(late.service)};
        watch.waiting(watched[0], [&] { ++hungUp; });
        watch.waiting(watched[1], [&] { ++halfHungUp; });
        watch.waiting(watched[2], [] {}, clock.now() + 5s, [&] { ++lateRan; });
        ::shutdown(halfCloses.client, SHUT_WR);
        ::close(std::exchange(hangsUp.client, -1));
        QTRY_COMPARE_WITH_TIMEOUT(hungUp.load(), 1, 60000);
        pass(clock, watch, 5s - 1ms);
        QCOMPARE(lateRan.load(), 0);
        pass(clock, watch, 1ms);
        QCOMPARE(lateRan.load(), 1);
        pass(clock, watch, 1h);
        QCOMPARE(lateRan.load(), 1);
        QCOMPARE(hungUp.load(), 1);
        QCOMPARE(halfHungUp.load(), 0);
        for (ConnectionWatch::Connection *connection : watched) {
            watch.waited(connection);
            watch.closed(connection);
        }
    }

    // A stop cuts off, once its grace has passed, what is still arriving, but not
    // a request whose document is under way.
    void stopCutsArrivingUploadsAfterTheGrace()
    {
        ManualClock clock;
        ConnectionWatch watch({60s, 0}, clock);
        Pair uploading, converting;
        ConnectionWatch::Connection *upload = watch.opened(uploading.service);
        ConnectionWatch::Connection *waiting = watch.opened(converting.service);
        watch.headersRead(upload);
        watch.waiting(waiting, [] {});
        watch.stopping(3s);
        pass(clock, watch, 3s - 1ms);
        QVERIFY(!uploading.cutOff());
        pass(clock, watch, 1ms);
        QVERIFY(uploading.cutOff());
        QVERIFY(watch.cutReason(upload).contains("stop"));
        pass(clock, watch, 1h);
        QVERIFY(!converting.cutOff());
        watch.waited(waiting);
        watch.closed(upload);
        watch.closed(waiting);
    }
};

QTEST_GUILESS_MAIN(TestConnectionWatch)
#include "test_connection_watch.moc"
