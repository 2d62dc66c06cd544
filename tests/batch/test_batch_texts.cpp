// The texts `tarnwick --convert` writes: the window's, with fields as the laid-out
// page shows them, and files the office reads as another type told apart.
#include "BatchProgram.h"
#include "assets/WriterDocuments.h"

#include <QDir>

class TestBatchTexts : public BatchProgramTest {
    Q_OBJECT

private slots:
    // A field shows what the office works out for it in the laid-out document, as in
    // the window's run, not the value stored in the file. A document with no text at
    // all (a picture alone) gives an empty text file, and is converted.
    void fieldsTakeTheirLaidOutValues()
    {
        const QString folder = path(QStringLiteral("fields"));
        QDir().mkpath(folder);
        writeOdtXml(folder + "/page.odt", R"(<text:p>Page <text:page-number text:select-page="current">99)"
                                          R"(</text:page-number> of the document</text:p>)");
        writeOdt(folder + "/plain.odt", {"No fields here"});
        writePictureOnlyOdt(folder + "/picture.odt");
        const Outcome outcome = run({folder});
        QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.errors));
        QVERIFY2(outcome.errors.contains("Converted 3, failed 0"), qPrintable(outcome.errors));
        QCOMPARE(documentText(folder + "/page.txt"), QStringLiteral("Page 1 of the document"));
        QCOMPARE(documentText(folder + "/plain.txt"), QStringLiteral("No fields here"));
        QCOMPARE(readBytes(folder + "/picture.txt"), QByteArray());
    }

    // Page references take the pages of their targets once the layout is finished,
    // whatever the load: the office sets them at its own pace after its first pass, so
    // a save that came first kept what the file held. Converted many times, two
    // offices at once, every copy gives the same text, and no stored value is left.
    void pageReferencesAreTheFinishedLayouts()
    {
        QByteArray body;
        for (int paragraph = 0; paragraph < 20; ++paragraph) {
            body += "<text:p>";
            for (int i = 0; i < 30; ++i)
                body += "see <text:bookmark-ref text:reference-format='page' text:ref-name='b"
                        + QByteArray::number(paragraph * 30 + i) + "'>?</text:bookmark-ref> ";
            body += "</text:p>";
        }
        for (int target = 0; target < 600; ++target)
            body += "<text:p>Target <text:bookmark text:name='b" + QByteArray::number(target)
                    + "'/> in a paragraph long enough to take two lines of the page, so that the six hundred "
                      "targets fill many pages.</text:p>";
        const QString folder = path(QStringLiteral("references"));
        QDir().mkpath(folder);
        for (int copy = 0; copy < 6; ++copy)
            writeOdtXml(folder + QStringLiteral("/copy%1.odt").arg(copy), body);
        const Outcome outcome = run({"--jobs", "2", folder});
        QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.errors));
        const QString first = documentText(folder + "/copy0.txt");
        QVERIFY2(!first.contains('?') && first.contains("see 9 "), qPrintable(first.left(400)));
        for (int copy = 1; copy < 6; ++copy)
            QCOMPARE(documentText(folder + QStringLiteral("/copy%1.txt").arg(copy)), first);
    }

    // A template is opened as the window's run opens it, as a new document made from
    // it: its fields show a new document's data (no modification date, author or file
    // name, one editing cycle), not those stored in the template, and the batch writes
    // the window's text byte for byte.
    void templatesGiveTheWindowsText()
    {
        const QString folder = path(QStringLiteral("templates")), window = path(QStringLiteral("templates-window"));
        QDir().mkpath(folder);
        QDir().mkpath(window);
        const QByteArray fields =
            R"(<text:p>Changed <text:modification-date>1998-01-01</text:modification-date> at )"
            R"(<text:modification-time>09:09:09</text:modification-time> by <text:creator>someone</text:creator>, )"
            R"(made by <text:initial-creator>someone</text:initial-creator>, file )"
            R"(<text:file-name text:display="full">a.ott</text:file-name>, edited <text:editing-cycles>5)"
            R"(</text:editing-cycles> times, <text:page-count>9</text:page-count> pages: <text:title>x</text:title>)"
            R"(</text:p>)";
        const QByteArray meta = "<meta:initial-creator>Ada Stored</meta:initial-creator><dc:creator>Bea Stored"
                                "</dc:creator><dc:title>The title</dc:title><dc:date>2002-03-04T05:06:07</dc:date>"
                                "<meta:editing-cycles>17</meta:editing-cycles>";
        QStringList windowRun;
        for (const auto &[name, format] :
             {std::pair{"form", WriterFormat::Ott}, std::pair{"old form", WriterFormat::Stw}}) {
            const QString document = folder + '/' + name + (format == WriterFormat::Ott ? ".ott" : ".stw");
            writeWriterDocumentXml(document, format, fields, meta);
            windowRun << document << window + '/' + name + ".txt";
        }
        QProcess probe;
        probe.setProcessEnvironment(m_environment);
        probe.start(QStringLiteral(CONVERT_PROBE), windowRun);
        QVERIFY(probe.waitForFinished(120000) && probe.exitCode() == 0);
        const Outcome outcome = run({folder});
        QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.errors));
        for (const QString name : {"form.txt", "old form.txt"}) {
            QCOMPARE(readBytes(folder + '/' + name), readBytes(window + '/' + name));
            QVERIFY(documentText(folder + '/' + name).endsWith("pages: The title"));
            QVERIFY(!documentText(folder + '/' + name).contains("Stored"));
        }
    }

    // Files the office reads as something else than a Writer document are converted
    // but told apart: a plain text named .odt, and an empty file, whose text is empty.
    void otherTypesAreToldApart()
    {
        const QString folder = path(QStringLiteral("types"));
        QDir().mkpath(folder);
        writeOdt(folder + "/letter.odt", {"A letter"});
        writeFile(folder + "/plain.odt", "Plain words\n");
        writeFile(folder + "/empty.odt", {});
        const QString report = path(QStringLiteral("types.jsonl"));
        const Outcome outcome = run({QStringLiteral("--report"), report, folder});
        QCOMPARE(outcome.exitCode, 0);
        QVERIFY2(outcome.errors.contains(QStringLiteral("Converted 1, read as another type than Writer 2, failed 0")),
                 qPrintable(outcome.errors));
        const QHash<QString, QJsonObject> documents = bySource(reportLines(report));
        // Each line's status is the summary's count it goes into.
        QCOMPARE(documents[folder + "/letter.odt"][QStringLiteral("status")].toString(), QStringLiteral("converted"));
        for (const char *name : {"/plain.odt", "/empty.odt"})
            QCOMPARE(documents[folder + name][QStringLiteral("status")].toString(), QStringLiteral("read-as-other"));
        QVERIFY(!documents[folder + "/letter.odt"].contains(QStringLiteral("read-as")));
        QCOMPARE(documents[folder + "/plain.odt"][QStringLiteral("read-as")].toString(), QStringLiteral("generic_Text"));
        QCOMPARE(documents[folder + "/empty.odt"][QStringLiteral("read-as")].toString(), QStringLiteral("empty"));
        QCOMPARE(reportSummary(report)[QStringLiteral("read-as-other")].toInt(), 2);
        QCOMPARE(documentText(folder + "/plain.txt"), QStringLiteral("Plain words"));
        QCOMPARE(QFileInfo(folder + "/empty.txt").size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestBatchTexts)
#include "test_batch_texts.moc"
