// What the batch prints on a terminal: file names cannot act on it.
#include "batch/BatchReport.h"
#include "batch/JsonLinesReport.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstdio>

class TestBatchReport : public QObject {
    Q_OBJECT

private slots:
    // Control characters and bytes that are not UTF-8 are escaped as `ls -b` does, in
    // the progress line, the failure lines and the notes alike; other names print as
    // they are. A failure line names its document once.
    void namesAreEscapedOnTheTerminal()
    {
        std::FILE *out = std::tmpfile();
        QVERIFY(out);
        const QString hostile = QStringLiteral("/d/\x1b]0;title\a\x1b[2J\r\ntarnwick: all fine\x7f\u009b\\.odt");
        const QString printed = QStringLiteral(R"(/d/\033]0;title\a\033[2J\r\ntarnwick: all fine\177\302\233\\.odt)");
        {
            BatchReport report(out, true, false);
            report.begin(3, 100);
            report.started(hostile);
            report.failed({hostile, QStringLiteral("/d/x.txt"), 0}, QStringLiteral("the office said:\r\nno"), 1);
            report.failed({QStringLiteral("/d/a.odt"), QStringLiteral("/d/a.txt"), 0},
                          QStringLiteral("twice; last: The office could not load /d/a.odt: hung. From "
                                         "/d/a.odt.d/a.odt, not /d/a.odt."),
                          1);
            report.started(QStringLiteral("/d/Zoë #1 100%.odt"));
            report.skipped({QStringLiteral("/d/Zoë #1 100%.odt"), QStringLiteral("a reason."), {}});
            report.failedPath(QByteArray("/d/caf\xe9\t.odt"), QStringLiteral("not UTF-8."));
            report.note(QStringLiteral("a line\x1b[1;31m"));
            QCOMPARE(report.finish(), 1);
        }
        std::rewind(out);
        QByteArray written;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
            written.append(buffer, qsizetype(n));
        std::fclose(out);

        const QString text = QString::fromUtf8(written);
        // The progress line is cut to the terminal's width (80 here).
        QVERIFY2(text.contains(QStringLiteral(" gone, estimating  ") + printed.mid(3, 40)), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("tarnwick: failed: %1: the office said:\\r\\nno\n").arg(printed)));
        QVERIFY(text.contains(QStringLiteral("tarnwick: failed: /d/a.odt: twice; last: The office could not load it: "
                                             "hung. From /d/a.odt.d/a.odt, not it.\n")));
        QVERIFY(text.contains(QStringLiteral("tarnwick: skipped: /d/Zoë #1 100%.odt: a reason.\n")));
        QVERIFY(text.contains(QStringLiteral("estimating  Zoë #1 100%.odt")));
        QVERIFY(text.contains(QStringLiteral(R"(tarnwick: failed: /d/caf\351\t.odt: not UTF-8.)")));
        QVERIFY(text.contains(QStringLiteral(R"(tarnwick: a line\033[1;31m)")));
        // The report's own redrawing is the only control sequence left.
        const QString shown = QString(text).remove(QStringLiteral("\r\x1b[K"));
        for (const QChar c : shown)
            QVERIFY2(c == '\n' || (c >= ' ' && (c < '\x7f' || c > QChar(0x9F))), qPrintable(text));
    }

    // The record carries names exactly where JSON can, and says where it cannot;
    // a stopped run ends it with the summary and the signal.
    void recordOfAStoppedRun()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("report.jsonl"));
        std::FILE *out = std::tmpfile();
        int status = 0;
        {
            JsonLinesReport record(file, -1);
            BatchReport report(out, false, true);
            report.setRecord(&record);
            report.failedPath(QByteArray("/d/caf\xe9.odt"), QStringLiteral("not UTF-8."));
            report.skipped({QStringLiteral("/d/two\nlines.odt"), QStringLiteral("a reason."), QStringLiteral("/d/t.txt")});
            report.begin(3, 30);
            status = report.finish(SIGTERM);
        }
        std::fclose(out);
        QCOMPARE(status, 128 + SIGTERM);
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = written.readAll().split('\n');
        QCOMPARE(lines.size(), 4); // three lines and the empty rest after the last break
        const auto object = [&](int i) { return QJsonDocument::fromJson(lines[i]).object(); };
        QCOMPARE(object(0)[QStringLiteral("source")].toString(), QStringLiteral(R"(/d/caf\351.odt)"));
        QVERIFY(object(0)[QStringLiteral("escaped")].toBool());
        QCOMPARE(object(1)[QStringLiteral("source")].toString(), QStringLiteral("/d/two\nlines.odt"));
        QVERIFY(!object(1).contains(QStringLiteral("escaped")));
        QCOMPARE(object(1)[QStringLiteral("status")].toString(), QStringLiteral("skipped"));
        const QJsonObject summary = object(2)[QStringLiteral("summary")].toObject();
        QCOMPARE(summary[QStringLiteral("stopped-by")].toString(), QStringLiteral("SIGTERM"));
        QCOMPARE(summary[QStringLiteral("not-converted")].toInt(), 3);

        // Stopped during the walk, the number of documents is not known.
        JsonLinesReport walkRecord(file, -1);
        BatchReport walk(stderr, false, true);
        walk.setRecord(&walkRecord);
        walk.setWalkStopped();
        int walkStatus = 0;
        const QByteArray said = standardErrorOf([&] { walkStatus = walk.finish(SIGINT); });
        QVERIFY(walkStatus == 128 + SIGINT && said.contains("the number of documents is not known"));
        const QJsonObject walked = QJsonDocument::fromJson(readBytes(file).trimmed()).object()["summary"].toObject();
        QVERIFY(walked.contains("stopped-by") && !walked.contains("not-converted"));
    }
};

QTEST_GUILESS_MAIN(TestBatchReport)
#include "test_batch_report.moc"
