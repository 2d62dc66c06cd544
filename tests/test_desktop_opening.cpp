// Web addresses and folders are handed to the desktop as one argument of its
// opener, never through a shell: no path or address can run a command. Runs on a
// real (virtual) display, where Qt hands them to xdg-open.
#include "app/QtDialogs.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

class TestDesktopOpening : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // Each call of the fake opener: its arguments.
    QList<QStringList> openerCalls() const
    {
        QList<QStringList> calls;
        const QDir folder(m_dir.filePath("calls"));
        for (const QString &name : folder.entryList(QDir::Files)) {
            QFile call(folder.filePath(name));
            if (call.open(QIODevice::ReadOnly))
                calls << QString::fromUtf8(call.readAll()).split(QChar('\x1f'));
        }
        return calls;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QDir().mkpath(m_dir.filePath("bin"));
        QFile opener(m_dir.filePath("bin/xdg-open"));
        QVERIFY(opener.open(QIODevice::WriteOnly));
        // Records its arguments, a file a call: two openers run at the same time, and
        // their writes into one file could mix. The file is named once it is whole.
        QDir().mkpath(m_dir.filePath("calls"));
        const QString script =
            QStringLiteral("#!/bin/sh\n"
                           "{ sep=''; for a in \"$@\"; do printf '%s%s' \"$sep\" \"$a\"; sep=$(printf '\\037'); done; }"
                           " > \"%1/.$$\" && mv \"%1/.$$\" \"%1/$$\"\n")
                .arg(m_dir.filePath("calls"));
        opener.write(QFile::encodeName(script));
        opener.close();
        opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", QFile::encodeName(m_dir.filePath("bin")) + ":" + qgetenv("PATH"));
        // An injected command would leave its file here.
        QDir::setCurrent(m_dir.path());
    }

    void foldersAndAddressesReachTheOpenerAsOneArgument()
    {
        const QString folder = m_dir.filePath("Samples $(touch pwned1) `touch pwned2`; touch pwned3 'x\"&|/");
        QVERIFY(QDir().mkpath(folder));
        const QString address = "https://example.com/a?q=$(touch pwned4)&r=`touch pwned5`;touch pwned6";

        QtDialogs dialogs;
        dialogs.openFolder(folder);
        dialogs.openUrl(address);

        // The opener runs as a process of its own: on a busy machine it may take a while.
        QTRY_COMPARE_WITH_TIMEOUT(openerCalls().size(), 2, 30000);
        // Each opener is a process of its own, so the two may log in either order.
        QList<QStringList> calls = openerCalls();
        if (calls[0].value(0).startsWith("https:"))
            calls.swapItemsAt(0, 1);
        QCOMPARE(calls[0].size(), 1);
        QCOMPARE(QUrl(calls[0][0]).toLocalFile(), folder);
        QCOMPARE(calls[1].size(), 1);
        QCOMPARE(QUrl(calls[1][0]), QUrl(address));
        QTest::qWait(200);
        const QStringList pwned = QDir(m_dir.path()).entryList({"pwned*"});
        QVERIFY2(pwned.isEmpty(), qPrintable(pwned.join(' ')));
    }
};

TARNWICK_TEST_MAIN(TestDesktopOpening)
#include "test_desktop_opening.moc"
