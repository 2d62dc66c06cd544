// Bad documents and awkward names through the window's whole run, with the real
// office doing the conversion. Whatever the other documents are, every convertible
// one is converted, each failure is reported at its step, the run ends with "Done.",
// and no file is written, changed or removed anywhere but the text files.
#include "app/QtDialogs.h"
#include "assets/StoredZip.h"
#include "assets/WriterDocuments.h"
#include "support/PasswordDocument.h"
#include "support/TestEnvironment.h"
#include "support/WindowRunOnOffice.h"
#include "util/AppError.h"
#include "util/PathHelpers.h"

#include <QBuffer>
#include <QImage>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <csignal>

namespace {


QByteArray pngBytes()
{
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return bytes;
}

QByteArray packageOf(const QList<std::pair<QString, QByteArray>> &entries)
{
    StoredZip zip;
    for (const auto &[name, data] : entries)
        zip.add(name, data);
    return zip.bytes();
}

// The parts of a Writer package, to build packages that lack some or spoil them.
const QByteArray kMimeType = "application/vnd.oasis.opendocument.text";
const QByteArray kContent =
    R"(<?xml version="1.0" encoding="UTF-8"?><office:document-content )"
    R"(xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" )"
    R"(xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2">)"
    R"(<office:body><office:text><text:p>Inside the package.</text:p></office:text></office:body>)"
    R"(</office:document-content>)";
const QByteArray kManifest =
    R"(<?xml version="1.0" encoding="UTF-8"?><manifest:manifest )"
    R"(xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">)"
    R"(<manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.text"/>)"
    R"(<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>)"
    R"(</manifest:manifest>)";

// first.odt, second.odt and third.odt in root/in, each holding its own name, and an

} // namespace

class TestBadDocuments : public WindowRunTest {
    Q_OBJECT

    QByteArray m_encrypted;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Were the password ignored, this would be a good document and would convert.
        m_encrypted = passwordProtectedOdt(m_office, m_dir.filePath(QStringLiteral("made")));
        QVERIFY(m_encrypted.startsWith("PK\x03\x04") && m_encrypted.contains("mimetype" + kMimeType));
    }

    void cleanupTestCase() { m_office.shutdown(); }

    // Each kind of bad document, followed by a good one, into a chosen folder and
    // beside the sources. Some the office takes as documents of a sort (noted).
    void badDocumentIsReportedAndTheRunGoesOn_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("converted"); // the text the office makes of it; null: it fails

        const QByteArray odt =
            packageOf({{"mimetype", kMimeType}, {"content.xml", kContent}, {"META-INF/manifest.xml", kManifest}});
        const QString failsToLoad;

        // The export writes a byte order mark, which readText() drops, and a line end.
        QTest::newRow("zero bytes") << QByteArray() << true << QStringLiteral("\n"); // an empty text
        QTest::newRow("truncated zip") << odt.left(odt.size() / 2) << true << failsToLoad;
        QTest::newRow("password-protected") << m_encrypted << true << failsToLoad; // no prompt: it fails
        QTest::newRow("no content.xml") << packageOf({{"mimetype", kMimeType}, {"META-INF/manifest.xml", kManifest}})
                                        << true << QStringLiteral("\n"); // an empty text
        QTest::newRow("no content.xml nor manifest")
            << packageOf({{"mimetype", kMimeType}, {"meta.xml", R"(<?xml version="1.0"?><x/>)"}}) << true
            << failsToLoad;
        QTest::newRow("entry missing from the manifest")
            << packageOf({{"mimetype", kMimeType}, {"content.xml", kContent}, {"META-INF/manifest.xml", kManifest},
                          {"stray", "x"}})
            << true << failsToLoad;
        QTest::newRow("only a mimetype entry") << packageOf({{"mimetype", kMimeType}}) << true << failsToLoad;
        QTest::newRow("mimetype holding PNG bytes")
            << packageOf({{"content.xml", kContent}, {"META-INF/manifest.xml", kManifest}, {"mimetype", pngBytes()}})
            << true << failsToLoad;
        QTest::newRow("plain text") << QByteArray("Not a zip at all.\n") << true
                                    << QStringLiteral("Not a zip at all.\n"); // echoed back
        QTest::newRow("PNG picture") << pngBytes() << true << failsToLoad;
        QTest::newRow("missing") << odt << false << failsToLoad; // listed, then deleted
    }

    void badDocumentIsReportedAndTheRunGoesOn()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, exists);
        QFETCH(QString, converted);

        const QString root = m_dir.filePath(QStringLiteral("bad/") + QTest::currentDataTag());
        const QString bad = root + QStringLiteral("/in/bad.odt"), good = root + QStringLiteral("/in/good.odt");
        writeFile(bad, bytes);
        writeOdt(good, {QStringLiteral("Good after bad.")});
        if (!exists)
            QVERIFY(QFile::remove(bad));
        QDir().mkpath(root + QStringLiteral("/out"));

        const QStringList failureLines = converted.isNull()
                                             ? QStringList{"146", "150", "152", "164", "172"} // not loaded
                                             : QStringList();
        // Where Draw is installed, it takes a picture for a drawing: that loads, and
        // only the save as text fails.
        const bool drawMayLoadIt = QByteArray(QTest::currentDataTag()) == "PNG picture";
        for (const QString &folder : {root + QStringLiteral("/out/"), QString()}) {
            const QString written = folder.isEmpty() ? QStringLiteral("in/") : QStringLiteral("out/");
            const TreeState before = treeState(root);
            const Outcome outcome = convert({bad, good}, folder);

            if (!drawMayLoadIt || outcome.lines != QStringList{"164"})
                QCOMPARE(outcome.lines, failureLines);
            // The office does not say why a load gave nothing: no guess at damage, but a
            // password-protected document is named as such.
            QCOMPARE(outcome.reports.value(0).contains("protected by a password"),
                     QByteArray(QTest::currentDataTag()) == "password-protected");
            QVERIFY(!outcome.reports.join('\n').contains("damaged"));
            QVERIFY(!outcome.reports.join('\n').contains(".tarnwick-")); // the hidden file of a save
            // The steps after a failed load name the document, not a missing object.
            for (const QString &report : outcome.reports.mid(1))
                QVERIFY2(report.startsWith(QStringLiteral("The load of ") + bad + QStringLiteral(" failed: ")),
                         qPrintable(report));
            QCOMPARE(outcome.messages, QStringList{"Done."});
            QVERIFY(readText(root + QLatin1Char('/') + written + QStringLiteral("good.txt")).contains("Good after bad."));
            QStringList expected{QStringLiteral("+ ") + written + QStringLiteral("good.txt")};
            if (!converted.isNull()) {
                QCOMPARE(readText(root + QLatin1Char('/') + written + QStringLiteral("bad.txt")), converted);
                expected.prepend(QStringLiteral("+ ") + written + QStringLiteral("bad.txt"));
            }
            QCOMPARE(treeChanges(before, treeState(root)), expected);
        }
    }

    // Names that a URL, a shell or a command line could take for something else, in a
    // folder dropped on the list: each document converts under its own name, into a
    // chosen folder and beside itself.
    void awkwardNamesConvertUnderTheirOwnNames()
    {
        const QStringList names{QStringLiteral("fifty%20percent"), QStringLiteral("#1 & 100%"),
                                QStringLiteral("two\nlines"), QStringLiteral("-n"), QStringLiteral("--help me"),
                                QString::fromUtf8("“Double” and ‘single’ quotes")};
        const QString root = m_dir.filePath(QStringLiteral("names"));
        const QString in = root + QString::fromUtf8("/-in %41 #“q”/");
        QDir().mkpath(in);
        for (int i = 0; i < names.size(); ++i)
            writeOdt(in + names[i] + QStringLiteral(".odt"), {QStringLiteral("Document %1").arg(i)});
        QDir().mkpath(root + QStringLiteral("/out"));

        for (const QString &folder : {root + QStringLiteral("/out/"), QString()}) {
            const QString written = folder.isEmpty() ? in : folder;
            const TreeState before = treeState(root);
            const Outcome outcome = convert({in.chopped(1)}, folder, {}, Fill::Drop);
            QCOMPARE(outcome.lines, QStringList());
            QCOMPARE(outcome.messages, QStringList{"Done."});
            QStringList expected;
            for (int i = 0; i < names.size(); ++i) {
                const QString target = written + names[i] + QStringLiteral(".txt");
                QVERIFY2(readText(target).contains(QStringLiteral("Document %1").arg(i)), qPrintable(target));
                expected << QStringLiteral("+ ") + QDir(root).relativeFilePath(target);
            }
            expected.sort();
            QCOMPARE(treeChanges(before, treeState(root)), expected);
        }
    }

    // Names show as they are: never as markup in a message box, never as a pattern in
    // the progress caption, never filled in by the hang message.
    void textsShowExactlyWhatTheyHold()
    {
        const QString markup = QStringLiteral("<b>BOLD<i>x<font color=red size=7>RED <img src=/dev/zero>.odt");
        QString shown;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                shown = box->textFormat() == Qt::PlainText ? box->text() : QStringLiteral("<not plain text>");
                box->button(QMessageBox::Ok)->click();
            }
        });
        closer.start(10);
        QtDialogs().message(markup, QStringLiteral("Tarnwick"), Dialogs::Buttons::Ok, Dialogs::Icon::None);
        QCOMPARE(shown, markup);

        const QString root = m_dir.filePath(QStringLiteral("texts"));
        const QString percent = root + QStringLiteral("/#cap %p %v %m.odt");
        QDir().mkpath(root);
        writeOdt(percent, {QStringLiteral("Percent signs.")});
        QStringList captions;
        convert({percent}, root, [&](Form1 &form) { captions << ProgressBar1(form)->text(); });
        QVERIFY2(captions.contains(QStringLiteral("Processing: #cap %p %v %m.odt")), qPrintable(captions.join('|')));
        QVERIFY(readText(root + QStringLiteral("/#cap %p %v %m.txt")).contains("Percent signs."));

        UnoOfficeOptions options = UnoOfficeOptions::defaults();
        options.callTimeoutMs = 2000;
        UnoOfficeBridge hanging(options);
        const OfficeRef desktop = hanging.createInstance(hanging.createServiceManager(), OfficeService::Desktop);
        QCOMPARE(::kill(pid_t(hanging.officeProcessId()), SIGSTOP), 0);
        const QString hung = root + QStringLiteral("/%1 and %2.odt");
        QString error;
        try {
            hanging.loadComponentFromURL(desktop, FileUrlOf(hung), FrameTarget::NewFrame, 0);
        } catch (const AppError &caught) {
            error = caught.description();
        }
        QVERIFY2(error.contains(hung + QStringLiteral(": the office suite did not answer within 2 seconds")),
                 qPrintable(error));
    }
};

TARNWICK_TEST_MAIN(TestBadDocuments)
#include "test_bad_documents.moc"
