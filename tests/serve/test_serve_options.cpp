// What the service takes from its command line and from a request before any
// office is involved: the address to listen on, and the name a client gives its
// document, which becomes a file name in a folder of the service's own; and how the
// log writes what a client sent.
#include "serve/ListenSocket.h"
#include "serve/RequestBody.h"
#include "serve/ServiceCall.h"
#include "serve/ServeOptions.h"
#include "serve/ServiceLog.h"
#include "support/TestFiles.h"
#include "util/AppError.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

class TestServeOptions : public QObject {
    Q_OBJECT

private slots:
    void listenAddresses_data()
    {
        QTest::addColumn<QString>("listen");
        QTest::addColumn<QString>("expected"); // host:port or unix:path, or the start of the error
        QTest::newRow("default") << QString() << "127.0.0.1:8088";
        QTest::newRow("all interfaces, named") << "0.0.0.0:9000" << "0.0.0.0:9000";
        QTest::newRow("IPv6") << "[::1]:80" << "::1:80";
        QTest::newRow("system's port") << "127.0.0.1:0" << "127.0.0.1:0";
        QTest::newRow("unix") << "unix:/run/tarnwick/socket" << "unix:/run/tarnwick/socket";
        QTest::newRow("a name") << "localhost:8088" << "--listen takes";
        QTest::newRow("no port") << "127.0.0.1" << "--listen takes";
        QTest::newRow("port too high") << "127.0.0.1:65536" << "--listen takes";
        QTest::newRow("unix without path") << "unix:" << "--listen unix: needs";
    }

    void listenAddresses()
    {
        QFETCH(QString, listen);
        QFETCH(QString, expected);
        const auto parsed =
            ParseServeOptions(listen.isEmpty() ? QStringList() : QStringList{QStringLiteral("--listen"), listen});
        if (const auto *error = std::get_if<UsageError>(&parsed)) {
            QVERIFY2(error->text.startsWith(expected), qPrintable(error->text));
            return;
        }
        const ServeOptions &options = std::get<ServeOptions>(parsed);
        QCOMPARE(options.socketPath.isEmpty() ? QStringLiteral("%1:%2").arg(options.host).arg(options.port)
                                              : "unix:" + options.socketPath,
                 expected);
    }

    void numbersAreChecked()
    {
        const auto parsed = ParseServeOptions(
            {"--jobs=3", "--queue", "0", "--max-size=5000000000", "--queue-wait=0", "--stop-grace", "3"});
        QVERIFY(std::holds_alternative<ServeOptions>(parsed));
        QCOMPARE(std::get<ServeOptions>(parsed).maxBytes, 5000000000LL);
        QCOMPARE(std::get<ServeOptions>(parsed).queuePlaces, 0);
        QCOMPARE(std::get<ServeOptions>(parsed).queueWaitSeconds, 0);
        QCOMPARE(std::get<ServeOptions>(parsed).stopGraceSeconds, 3);
        for (const QStringList &bad : {QStringList{"--jobs=0"}, {"--max-size=1k"}, {"--max-size=0"}, {"--timeout"},
                                       {"--document-limit=-1"}, {"--out=x"}, {"--header-timeout=0"},
                                       {"--per-address=-1"}})
            QVERIFY2(std::holds_alternative<UsageError>(ParseServeOptions(bad)), qPrintable(bad.join(' ')));
    }

    // Whatever the client sends, the name stays one plain file in the folder.
    void documentNames_data()
    {
        QTest::addColumn<QByteArray>("given");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QByteArray("report.final.odt") << "report.final.odt";
        QTest::newRow("up and out") << QByteArray("../../etc/passwd") << "passwd";
        QTest::newRow("Windows path") << QByteArray("C:\\Users\\ann\\notes.sxw") << "notes.sxw";
        QTest::newRow("dot dot") << QByteArray("..") << "document";
        QTest::newRow("hidden") << QByteArray(".profile.odt") << "profile.odt";
        QTest::newRow("control characters") << QByteArray("a\nb\x1b.odt") << "ab.odt";
        QTest::newRow("none") << QByteArray() << "document";
        QTest::newRow("long") << QByteArray(300, 'x') + ".odt" << QString(196, 'x') + ".odt";
    }

    void documentNames()
    {
        QFETCH(QByteArray, given);
        QFETCH(QString, expected);
        QCOMPARE(DocumentFileName(given), expected);
    }

    // The socket is the user's alone, in a folder nobody else may write in; one
    // left by an ended service is replaced, anything else there is left alone.
    void unixSockets()
    {
        QTemporaryDir dir;
        ServeOptions options;
        options.socketPath = dir.filePath(QStringLiteral("socket"));
        ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
        QVERIFY_THROWS_EXCEPTION(RefusalError, ListenSocket{options});
        ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
        {
            const ListenSocket first(options);
            struct stat info {};
            QCOMPARE(::stat(QFile::encodeName(options.socketPath).constData(), &info), 0);
            QCOMPARE(info.st_mode & 0777, mode_t(0600));
            QVERIFY_THROWS_EXCEPTION(AppError, ListenSocket{options}); // it answers
        }
        QVERIFY(!QFileInfo::exists(options.socketPath));
        options.socketPath = dir.filePath(QStringLiteral("document.odt"));
        QFile(options.socketPath).open(QIODevice::WriteOnly);
        QVERIFY_THROWS_EXCEPTION(AppError, ListenSocket{options});
        QVERIFY(QFileInfo(options.socketPath).isFile());
    }

    // Every control character a client sends (C0, DEL, C1) reaches the log as
    // \u00XX, on one line that reads back to the exact text.
    void logEscapesEveryControl()
    {
        QString path = QStringLiteral("/a");
        for (char16_t c = 0; c < 0xA0; ++c)
            if (c < 0x20 || c >= 0x7F)
                path += QChar(c);
        const QByteArray line = standardErrorOf([&] { LogLine({{QStringLiteral("path"), path}}); });
        QVERIFY(line.endsWith("}\n") && line.count('\n') == 1);
        for (const char c : {'\x1b', '\x7f'})
            QVERIFY(!line.contains(c));
        QVERIFY2(!line.contains("\xc2\x9b") && line.contains("\\u007f") && line.contains("\\u009b")
                     && line.contains("\\u0080") && line.contains("\\u001b") && line.contains("\\u000a")
                     && !line.contains("\\n"),
                 line.constData());
        QCOMPARE(QJsonDocument::fromJson(line).object().value("path").toString(), path);
    }

    // The user's client takes an answer's length only as a plain count of bytes.
    void answerLengths()
    {
        QCOMPARE(AnswerContentLength("HTTP/1.1 200 OK\r\ncontent-length:  12 \r\nX: 1"), 12);
        QCOMPARE(AnswerContentLength("HTTP/1.1 200 OK\r\nX: 1"), -1);
        for (const QByteArray value : {"-5", "+5", "5x", ""})
            QCOMPARE(AnswerContentLength("HTTP/1.1 200 OK\r\nContent-Length: " + value), -2);
    }
};

QTEST_GUILESS_MAIN(TestServeOptions)
#include "test_serve_options.moc"
