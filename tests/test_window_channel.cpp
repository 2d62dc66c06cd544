#include "app/WindowChannel.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QLockFile>
#include <QTemporaryDir>
#include <sys/wait.h>
#include <unistd.h>

// The lock and socket through which a later start finds the running window; the
// hand-over itself is tested with the real program (program_window.sh).
class TestWindowChannel : public QObject {
    Q_OBJECT
private slots:
    void lockOfAProgramThatIsGoneIsTakenOver()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("channel");
        {
            WindowChannel probe(folder, ":9");
            QCOMPARE(probe.start({}), WindowChannel::Start::FirstWindow);
        }
        // A child takes the lock and ends without giving it back, as a killed window does.
        const pid_t child = fork();
        if (child == 0) {
            QLockFile lock(QDir(folder).filePath("window-_9.lock"));
            _exit(lock.tryLock(0) ? 0 : 1);
        }
        int status = -1;
        QCOMPARE(waitpid(child, &status, 0), child);
        QCOMPARE(status, 0);
        QVERIFY(QFile::exists(QDir(folder).filePath("window-_9.lock")));

        WindowChannel next(folder, ":9");
        QCOMPARE(next.start({"/a.odt"}), WindowChannel::Start::FirstWindow);
        QVERIFY(next.problem().isEmpty());
    }

    void silentWindowOrForeignFolderLeavesANewWindowAlone()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("channel");
        WindowChannel first(folder, ":0");
        QCOMPARE(first.start({}), WindowChannel::Start::FirstWindow);
        // The first window does not answer: this thread does not run its events.
        WindowChannel second(folder, ":0");
        QCOMPARE(second.start({"/a.odt"}, 300), WindowChannel::Start::Alone);
        QVERIFY(!second.problem().isEmpty());
        // Another display has a window of its own.
        WindowChannel elsewhere(folder, ":1");
        QCOMPARE(elsewhere.start({}), WindowChannel::Start::FirstWindow);

        // A folder that others may write in is not used.
        const QString open = dir.filePath("open");
        QVERIFY(QDir().mkdir(open));
        QVERIFY(QFile::setPermissions(open, QFileDevice::Permissions(0x7777)));
        WindowChannel exposed(open, ":0");
        QCOMPARE(exposed.start({}), WindowChannel::Start::Alone);
        QVERIFY(!exposed.problem().isEmpty());
        QVERIFY(QDir(open).isEmpty());
    }
};

TARNWICK_TEST_MAIN(TestWindowChannel)
#include "test_window_channel.moc"
