#include "app/WindowChannel.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QLockFile>
#include <QSignalSpy>
#include <QThread>
#include <QTemporaryDir>
#include <sys/wait.h>
#include <memory>
#include <unistd.h>

// How a start finds, or does not find, the running window; the hand-over itself is
// tested with the real program (program_window.sh).
class TestWindowChannel : public QObject {
    Q_OBJECT
private slots:
    void lockOfAGoneProgramIsTakenOverAndASilentWindowIsLeftAlone()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("channel");
        QVERIFY(QDir().mkpath(folder));
        if (fork() == 0) // takes the lock and ends without giving it back, as a killed window
            _exit(QLockFile(folder + "/window-_0.lock").tryLock(0) ? 0 : 1);
        int status = -1;
        wait(&status);
        QVERIFY(status == 0 && QFile::exists(folder + "/window-_0.lock"));
        WindowChannel first(folder, ":0");
        QCOMPARE(first.start({}), WindowChannel::Start::FirstWindow);

        // This thread runs no events, so the first window does not answer, as a stopped
        // one; once it runs again it drops what that start gave up on, and takes what a
        // start that waits for it hands over.
        QSignalSpy handedOver(&first, &WindowChannel::pathsHandedOver);
        QCOMPARE(WindowChannel(folder, ":0").start({"/a.odt"}, 300), WindowChannel::Start::Unanswered);
        WindowChannel::Start waited = WindowChannel::Start::Alone;
        std::unique_ptr<QThread> later(QThread::create([&] { waited = WindowChannel(folder, ":0").start({"/b.odt"}); }));
        later->start();
        QTRY_VERIFY(later->isFinished());
        QCOMPARE(waited, WindowChannel::Start::HandedOver);
        QTRY_COMPARE(handedOver.size(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(handedOver.size(), 1);
        QCOMPARE(handedOver[0][0].toStringList(), QStringList{"/b.odt"});

        // Another display has a window of its own; a folder that others may write in is not used.
        QCOMPARE(WindowChannel(folder, ":1").start({}), WindowChannel::Start::FirstWindow);
        QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x7777)));
        QCOMPARE(WindowChannel(folder, ":2").start({}), WindowChannel::Start::Alone);
        QVERIFY(!QFile::exists(folder + "/window-_2.lock"));
    }
};

TARNWICK_TEST_MAIN(TestWindowChannel)
#include "test_window_channel.moc"
