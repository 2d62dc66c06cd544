// Bad input through the whole run, with the real office doing the conversion. Whatever
// the other documents are, every convertible one is converted, each failure is
// reported at its step, the run ends with "Done.", and no file is written, changed or
// removed anywhere but the text files in the destination.
#include "app/MainWindow.h"
#include "app/QtDialogs.h"
#include "app/SettingsStore.h"
#include "assets/StoredZip.h"
#include "assets/WriterDocuments.h"
#include "convert/office/UnoOfficeBridge.h"
#include "input/FileListView.h"
#include "support/PasswordDocument.h"
#include "support/TestEnvironment.h"
#include "support/WindowFixture.h"
#include "util/AppError.h"
#include "util/PathHelpers.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What a folder tree holds: per relative path, the content's hash and the file's
// time; folders count by their presence only.
using TreeState = QMap<QString, QString>;

TreeState treeState(const QString &root)
{
    TreeState state;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QString what = QStringLiteral("folder");
        if (!info.isDir()) {
            QFile file(info.filePath());
            const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
            what = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())
                   + QLatin1Char(' ') + info.lastModified().toString(Qt::ISODateWithMs);
        }
        state.insert(QDir(root).relativeFilePath(info.filePath()), what);
    }
    return state;
}

// "+ path" for what is new, "- path" for what has gone, "* path" for what changed.
QStringList treeChanges(const TreeState &before, const TreeState &after)
{
    QStringList changes;
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (!after.contains(it.key()))
            changes << QStringLiteral("- ") + it.key();
        else if (after.value(it.key()) != it.value())
            changes << QStringLiteral("* ") + it.key();
    }
    for (auto it = after.begin(); it != after.end(); ++it)
        if (!before.contains(it.key()))
            changes << QStringLiteral("+ ") + it.key();
    changes.sort();
    return changes;
}


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
// empty root/out. Returns the three paths.
QStringList threeDocuments(const QString &root)
{
    QDir().mkpath(root + QStringLiteral("/in"));
    QDir().mkpath(root + QStringLiteral("/out"));
    QStringList paths;
    for (const char *name : {"first", "second", "third"}) {
        paths << root + QStringLiteral("/in/%1.odt").arg(QLatin1String(name));
        writeOdt(paths.last(), {QLatin1String(name)});
    }
    return paths;
}

// Lines of the error reports ("146", ...), their texts and the plain messages of one run.
struct Outcome {
    QStringList lines;
    QStringList reports;
    QStringList messages;
};

} // namespace

class TestBadInput : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    UnoOfficeBridge m_office;
    QByteArray m_encrypted;

    // A window on the real office whose settings live in the given file.
    std::unique_ptr<WindowFixture> openWindow(OfficeBridge &office, const QString &settingsFile)
    {
        auto w = std::make_unique<WindowFixture>(settingsFile);
        w->make(&office, 0.05);
        return w;
    }

    // Presses Start on a window listing the rows; the text files go to the folder,
    // or beside each source when the folder is empty. Rows are appended, or dropped on
    // the list as a file manager would drop them.
    enum class Fill { Append, Drop };
    Outcome convert(const QStringList &rows, const QString &folder,
                    const std::function<void(Form1 &)> &duringRun = {}, Fill fill = Fill::Append)
    {
        auto w = openWindow(m_office, m_dir.filePath(QStringLiteral("settings.ini")));
        Form1 &form = *w->window;
        if (!form.Form_Load())
            qFatal("the office suite cannot be reached");
        if (fill == Fill::Append) {
            for (const QString &row : rows)
                ListView1(form)->AppendRow(row);
        } else {
            QMimeData dropped;
            QList<QUrl> urls;
            for (const QString &row : rows)
                urls << QUrl::fromLocalFile(row);
            dropped.setUrls(urls);
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(ListView1(form)->viewport(), &enter);
            QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(ListView1(form)->viewport(), &drop);
        }
        if (folder.isEmpty()) {
            Option2(form)->setChecked(true);
        } else {
            Option1(form)->setChecked(true);
            Text1(form)->setText(folder);
        }
        QTimer watch;
        if (duringRun) {
            connect(&watch, &QTimer::timeout, &form, [&] { duringRun(form); });
            // At every pass of the event loop: at each of the run's yields, not only
            // at those that come 5 ms after the last (the window's thread handles its
            // events during the office's calls too, so no yield is overdue).
            watch.start(0);
        }
        w->dialogs.messages.clear();
        QTest::mouseClick(PushButton2(form), Qt::LeftButton);

        Outcome outcome;
        for (const ScriptedDialogs::Shown &shown : w->dialogs.messages) {
            if (shown.title == QLatin1String("Application Error")) {
                outcome.lines << shown.text.section(QStringLiteral("at line "), 1).section(QLatin1Char('\r'), 0, 0);
                outcome.reports << shown.text.section(QStringLiteral("\r\n"), 0, 0);
            } else
                outcome.messages << shown.text;
        }
        return outcome;
    }

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

    // Text files that are not the run's to replace: a link (to a file outside), a
    // read-only file, and one this run wrote from another document are reported and
    // left as they are; one of an earlier run is replaced. A new text file gets the
    // user's usual mode, and no file of the save is left behind.
    void targetRules()
    {
        const QString root = m_dir.filePath(QStringLiteral("targets"));
        for (const char *folder : {"/in", "/a", "/b", "/out"})
            QDir().mkpath(root + QLatin1String(folder));
        writeOdt(root + QStringLiteral("/in/invoice.odt"), {QStringLiteral("Invoice")});
        writeOdt(root + QStringLiteral("/in/locked.odt"), {QStringLiteral("Locked")});
        writeOdt(root + QStringLiteral("/a/report.odt"), {QStringLiteral("From a")});
        writeOdt(root + QStringLiteral("/b/report.odt"), {QStringLiteral("From b")});
        writeFile(root + QStringLiteral("/precious"), "Precious.\n");
        writeFile(root + QStringLiteral("/out/usual")); // made with the user's usual mode
        QVERIFY(QFile::link(root + QStringLiteral("/precious"), root + QStringLiteral("/out/invoice.txt")));
        writeFile(root + QStringLiteral("/out/locked.txt"), "Keep me.\n");
        QVERIFY(QFile::setPermissions(root + QStringLiteral("/out/locked.txt"), QFile::ReadOwner | QFile::ReadOther));
        const QStringList rows{root + QStringLiteral("/in/invoice.odt"), root + QStringLiteral("/in/locked.odt"),
                               root + QStringLiteral("/a/report.odt"), root + QStringLiteral("/b/report.odt"),
                               root + QStringLiteral("/a/report.odt")}; // again: its own text file is no clash

        for (const QByteArray &earlier : {QByteArray(), QByteArray("Earlier run.\n")}) {
            if (!earlier.isEmpty())
                writeFile(root + QStringLiteral("/out/report.txt"), earlier);
            const TreeState before = treeState(root);
            const Outcome outcome = convert(rows, root + QStringLiteral("/out/"));
            QCOMPARE(outcome.lines, QStringList({"164", "164", "164"}));
            QVERIFY2(outcome.reports[0].contains("symbolic link") && outcome.reports[1].contains("read-only")
                         && outcome.reports[2].contains("already written in this run, from " + rows[2]),
                     qPrintable(outcome.reports.join('\n')));
            QCOMPARE(outcome.messages, QStringList{"Done."});
            QCOMPARE(treeChanges(before, treeState(root)),
                     QStringList{(earlier.isEmpty() ? "+ " : "* ") + QStringLiteral("out/report.txt")});
            QVERIFY(readText(root + QStringLiteral("/out/report.txt")).contains("From a"));
        }
        struct stat made {}, usual {};
        QCOMPARE(::stat(QFile::encodeName(root + QStringLiteral("/out/report.txt")).constData(), &made), 0);
        QCOMPARE(::stat(QFile::encodeName(root + QStringLiteral("/out/usual")).constData(), &usual), 0);
        QCOMPARE(made.st_mode, usual.st_mode);
    }

    // On a full file system on which another program keeps freeing and taking space,
    // every text file is either whole or the old one, and then reported; no partial
    // file is left. Once there is room, it converts.
    void fullDiskCostsNoFile()
    {
        const QString disk = m_dir.filePath(QStringLiteral("small-disk"));
        QDir().mkpath(disk);
        if (::mount("tarnwick-test", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=256k") != 0)
            QSKIP("no tmpfs can be mounted here (needs root): the full-disk case is not tried");
        const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH); });
        QDir().mkpath(m_dir.filePath(QStringLiteral("full")));
        QStringList documents;
        for (const int length : {40, 400, 1500, 3000}) {
            QStringList paragraphs;
            for (int i = 0; i < length; ++i)
                paragraphs << QStringLiteral("Paragraph %1 of a document that may not fit.").arg(i);
            documents << m_dir.filePath(QStringLiteral("full/doc%1.odt").arg(length));
            writeOdt(documents.last(), paragraphs);
        }
        const QString roomy = m_dir.filePath(QStringLiteral("full/whole"));
        QDir().mkpath(roomy);
        QCOMPARE(convert(documents, roomy).lines, QStringList());
        const QByteArray old("The old text.\n");
        for (const QString &document : documents)
            writeFile(disk + QLatin1Char('/') + QFileInfo(document).completeBaseName() + QStringLiteral(".txt"), old);
        QFile filler(disk + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(4096, 'f')) == 4096 && filler.flush()) {
        }
        filler.close();
        QVERIFY(filler.resize(filler.size() - 24576));

        std::atomic<bool> stop = false;
        std::thread otherWriter([&] {
            const QString breath = disk + QStringLiteral("/breath");
            while (!stop) {
                if (!QFile::remove(breath)) {
                    QFile taken(breath);
                    if (taken.open(QIODevice::WriteOnly))
                        taken.write(QByteArray(8192, 'b'));
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        const Outcome outcome = convert(documents, disk);
        stop = true;
        otherWriter.join();

        int oldOnes = 0;
        for (const QString &document : documents) {
            const QString name = QFileInfo(document).completeBaseName() + QStringLiteral(".txt");
            const QByteArray text = readBytes(disk + QLatin1Char('/') + name);
            QVERIFY2(text == old || text == readBytes(roomy + QLatin1Char('/') + name), qPrintable(name));
            oldOnes += text == old;
        }
        QCOMPARE(outcome.lines, QStringList(oldOnes, QStringLiteral("164")));
        QVERIFY2(outcome.reports.join('\n').contains("is full"), qPrintable(outcome.reports.join('\n')));
        QCOMPARE(outcome.messages, QStringList{"Done."});
        QCOMPARE(QDir(disk).entryList({QStringLiteral(".tarnwick-*")}, QDir::Files | QDir::Hidden), QStringList());

        QVERIFY(filler.remove());
        QCOMPARE(convert({documents.last()}, disk).lines, QStringList());
        QCOMPARE(readBytes(disk + QStringLiteral("/doc3000.txt")), readBytes(roomy + QStringLiteral("/doc3000.txt")));
    }

    // A text file is never readable by more people than its document, through a link
    // too, and never gets a bit that would make it a program.
    void textFilesAreNoMoreOpenThanTheirDocuments()
    {
        const QString root = m_dir.filePath(QStringLiteral("modes"));
        QDir().mkpath(root + QStringLiteral("/private"));
        QDir().mkpath(root + QStringLiteral("/shared"));
        writeOdt(root + QStringLiteral("/private/diary.odt"), {QStringLiteral("Dear diary")});
        QCOMPARE(::chmod(QFile::encodeName(root + QStringLiteral("/private/diary.odt")).constData(), 0600), 0);
        QVERIFY(QFile::link(root + QStringLiteral("/private/diary.odt"), root + QStringLiteral("/shared/diary.odt")));
        writeOdt(root + QStringLiteral("/shared/open.odt"), {QStringLiteral("Open")});
        QCOMPARE(::chmod(QFile::encodeName(root + QStringLiteral("/shared/open.odt")).constData(), 0644), 0);
        writeFile(root + QStringLiteral("/shared/open.txt"), "An older text.\n");
        QCOMPARE(::chmod(QFile::encodeName(root + QStringLiteral("/shared/open.txt")).constData(), 06777), 0);
        const QString archived = root + QStringLiteral("/shared/archived.odt");
        writeOdt(archived, {QStringLiteral("Archived")});
        QCOMPARE(::chmod(QFile::encodeName(archived).constData(), 0444), 0);

        const Outcome outcome = convert(
            {root + QStringLiteral("/shared/diary.odt"), root + QStringLiteral("/shared/open.odt"), archived}, {});
        QCOMPARE(outcome.lines, QStringList());
        const auto modeOf = [&](const char *name) {
            struct stat info {};
            return ::lstat(QFile::encodeName(root + QLatin1String(name)).constData(), &info) == 0
                       ? info.st_mode & 07777
                       : 0;
        };
        QCOMPARE(modeOf("/shared/diary.txt"), mode_t(0600));
        QCOMPARE(modeOf("/shared/open.txt"), mode_t(0644));
        QVERIFY(readText(root + QStringLiteral("/shared/diary.txt")).contains("Dear diary"));
        // A read-only document's text stays its owner's to replace: the next run does.
        QCOMPARE(modeOf("/shared/archived.txt") & 0700, mode_t(0600));
        QCOMPARE(convert({archived}, {}).lines, QStringList());
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

    // A folder dropped on the list brings its text files too: one that the conversion of
    // a document of the same name would write over is kept, and both are reported.
    void listedTextFileIsNeverWrittenOver()
    {
        const QString root = m_dir.filePath(QStringLiteral("listed"));
        writeFile(root + QStringLiteral("/notes.txt"), "My own notes.\n");
        writeOdt(root + QStringLiteral("/notes.odt"), {QStringLiteral("From the document.")});
        const TreeState before = treeState(root);

        const Outcome outcome = convert({root + QStringLiteral("/notes.odt"), root + QStringLiteral("/notes.txt")},
                                        QString());
        QCOMPARE(outcome.lines, QStringList({"164", "164"}));
        QCOMPARE(outcome.messages, QStringList{"Done."});
        QCOMPARE(treeChanges(before, treeState(root)), QStringList());
    }

    // The chosen folder stops being there while the second of three documents is
    // handled, removed or retyped: the office would make the folder again, but the rest
    // are reported at the save and nothing turns up anywhere.
    void destinationGoneDuringTheRun_data()
    {
        QTest::addColumn<bool>("retyped");
        QTest::newRow("removed") << false;
        QTest::newRow("retyped") << true;
    }

    void destinationGoneDuringTheRun()
    {
        QFETCH(bool, retyped);
        const QString root = m_dir.filePath(QStringLiteral("vanishing/") + QTest::currentDataTag());
        const QStringList rows = threeDocuments(root);
        const QString out = root + QStringLiteral("/out/");
        const TreeState before = treeState(root);

        bool gone = false;
        const Outcome outcome = convert(rows, out, [&](Form1 &form) {
            if (gone || ProgressBar1(form)->format() != QLatin1String("Processing: second.odt"))
                return;
            QVERIFY(QFile::exists(out + QStringLiteral("first.txt")));
            if (retyped)
                Text1(form)->setText(root + QStringLiteral("/ou")); // typed, half-way
            else
                QVERIFY(QDir(out).removeRecursively());
            gone = true;
        });
        QVERIFY(gone);
        QCOMPARE(outcome.lines, QStringList({"164", "164"}));
        QCOMPARE(outcome.messages, QStringList{"Done."});
        QCOMPARE(treeChanges(before, treeState(root)),
                 retyped ? QStringList{"+ out/first.txt"} : QStringList{"- out"});
    }

    // A settings file that is spoilt or cannot be written: the window starts with
    // defaults, a file it cannot understand is kept, and the options still work.
    void spoiltSettings_data()
    {
        QTest::addColumn<QString>("form");      // "file", "folder" (the file is one), "under a file"
        QTest::addColumn<QByteArray>("bytes");  // of the file; %1 stands for a folder that exists
        QTest::addColumn<QString>("folderBox"); // empty: the desktop folder
        QTest::addColumn<bool>("option1");
        QTest::addColumn<QStringList>("lines"); // of the start-up's error reports
        QTest::addColumn<bool>("keptAside");    // the file could not be understood

        QByteArray garbage;
        for (int i = 0; i < 600; ++i)
            garbage += char((i * 37 + 11) % 256);
        QTest::newRow("garbage bytes") << "file" << garbage << QString() << true << QStringList() << true;
        // A value that is no yes/no is reported at its step and leaves its option as it was.
        QTest::newRow("truncated") << "file" << QByteArray("[Tarnwick]\nText1=%1/\nOption1=False\nOption2=Tr")
                                   << "%1/" << false << QStringList{"140"} << false;
        QTest::newRow("wrong types")
            << "file" << QByteArray("[Tarnwick]\nText1=@Rect(1 2 3 4)\nOption1=maybe\nOption2=@Variant(\\0\\x7f)\n")
            << QString() << true << QStringList{"138"} << false;
        QTest::newRow("unquoted list") << "file" << QByteArray("[Tarnwick]\nText1=%1/Smith, John/\n")
                                       << "%1/Smith, John/" << true << QStringList() << false;
        // Nothing can be saved: the first save of the start-up says so.
        QTest::newRow("file is a folder") << "folder" << QByteArray() << QString() << true << QStringList{"108"}
                                          << false;
        QTest::newRow("folder is a file") << "under a file" << QByteArray() << QString() << true
                                          << QStringList{"108"} << false;
    }

    void spoiltSettings()
    {
        QFETCH(QString, form);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, folderBox);
        QFETCH(bool, option1);
        QFETCH(QStringList, lines);
        QFETCH(bool, keptAside);

        const QString root = m_dir.filePath(QStringLiteral("settings/") + QTest::currentDataTag());
        QDir().mkpath(root + QStringLiteral("/Smith, John"));
        bytes.replace("%1", QFile::encodeName(root));
        folderBox.replace(QStringLiteral("%1"), root);
        QString file = root + QStringLiteral("/s.ini");
        if (form == QLatin1String("file"))
            writeFile(file, bytes);
        else if (form == QLatin1String("folder"))
            QDir().mkpath(file);
        else {
            writeFile(root + QStringLiteral("/plain"), "a plain file");
            file = root + QStringLiteral("/plain/s.ini");
        }
        const TreeState before = treeState(root);

        FakeOffice office;
        auto w = openWindow(office, file);
        QVERIFY(w->window->Form_Load());
        QCOMPARE(w->dialogs.errorReports().size(), lines.size());
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(w->dialogs.errorReports()[i].contains(QStringLiteral(" at line ") + lines[i] + QLatin1Char('\r')),
                     qPrintable(w->dialogs.errorReports()[i]));
        QCOMPARE(Text1(*w->window)->text(), folderBox.isEmpty() ? GetDesktopFolder() : folderBox);
        QCOMPARE(Option1(*w->window)->isChecked(), option1);
        QVERIFY(!Option2(*w->window)->isChecked());

        QTest::mouseClick(Option2(*w->window), Qt::LeftButton);
        QVERIFY(Option2(*w->window)->isChecked());
        const QStringList changes = treeChanges(before, treeState(root));
        if (form != QLatin1String("file")) {
            QCOMPARE(changes, QStringList()); // nothing could be saved, and nothing was lost
            return;
        }
        if (keptAside) {
            // Kept as it was, beside a new store that works.
            QCOMPARE(changes, QStringList({"* s.ini", "+ s.ini.unreadable"}));
            QFile kept(file + QStringLiteral(".unreadable"));
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), bytes);
        }
        QCOMPARE(SettingsStore(file).GetSetting(QStringLiteral("Option2"), QString()), QStringLiteral("True"));
        QCOMPARE(SettingsStore(file).GetSetting(QStringLiteral("Text1"), QString()), Text1(*w->window)->text());
    }

    // Sources in a folder that cannot be written. Beside the sources, the save fails
    // and is reported, and the next document converts; into a folder of their own they
    // only need to be read. Root writes anywhere, so then the runs are made as "nobody"
    // by a probe program.
    void unwritableSourceFolder()
    {
        QTemporaryDir dir;
        const QString root = dir.path();
        for (const char *folder : {"/locked", "/open", "/out", "/home/cache"})
            QDir().mkpath(root + QLatin1String(folder));
        writeOdt(root + QStringLiteral("/locked/read-only.odt"), {QStringLiteral("Cannot be written.")});
        writeOdt(root + QStringLiteral("/locked/writable.odt"), {QStringLiteral("Can be written.")});
        writeOdt(root + QStringLiteral("/open/next.odt"), {QStringLiteral("The next one.")});
        QProcess::execute(QStringLiteral("chmod"), {QStringLiteral("-R"), QStringLiteral("a+rX"), root});
        if (::geteuid() == 0) {
            if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
                QSKIP("setpriv is needed to drop root's privileges");
            // "nobody" owns what it may write.
            for (const char *owned : {"/open", "/out", "/home", "/home/cache", "/locked/writable.odt"})
                QCOMPARE(::chown(QFile::encodeName(root + QLatin1String(owned)).constData(), 65534, 65534), 0);
        }
        const auto readAndExecute = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                    | QFile::ReadOther | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(root + QStringLiteral("/locked/read-only.odt"),
                                      QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(QFile::setPermissions(root + QStringLiteral("/locked"), readAndExecute));
        const auto unlock = qScopeGuard([&] {
            QFile::setPermissions(root + QStringLiteral("/locked"), readAndExecute | QFile::WriteOwner);
        });
        const TreeState before = treeState(root + QStringLiteral("/locked"));

        const QStringList beside = runProbe(root, {QStringLiteral("beside"),
                                                   root + QStringLiteral("/locked/read-only.odt"),
                                                   root + QStringLiteral("/open/next.odt")});
        QVERIFY2(beside.size() == 2 && beside[0].startsWith(QStringLiteral("REPORT 164 "))
                     && beside[0].contains(QStringLiteral("locked/read-only.txt")),
                 qPrintable(beside.join('\n')));
        QCOMPARE(beside[1], QStringLiteral("MESSAGE Done."));
        QVERIFY(readText(root + QStringLiteral("/open/next.txt")).contains("The next one."));

        const QStringList apart = runProbe(root, {root + QStringLiteral("/out"),
                                                  root + QStringLiteral("/locked/read-only.odt"),
                                                  root + QStringLiteral("/locked/writable.odt"),
                                                  root + QStringLiteral("/open/next.odt")});
        QCOMPARE(apart.last(), QStringLiteral("MESSAGE Done."));
        QVERIFY(readText(root + QStringLiteral("/out/read-only.txt")).contains("Cannot be written."));
        QVERIFY(readText(root + QStringLiteral("/out/next.txt")).contains("The next one."));
        QCOMPARE(treeChanges(before, treeState(root + QStringLiteral("/locked"))), QStringList());

        // A document the user may write, in a folder the user may not: an office that
        // wants a lock file beside it would not load it at all.
        QVERIFY2(apart.size() == 1 && readText(root + QStringLiteral("/out/writable.txt")).contains("Can be written."),
                 qPrintable(apart.join('\n')));
    }

private:
    // Runs the probe with its own home, as "nobody" when the test runs as root; returns
    // the lines it printed.
    QStringList runProbe(const QString &root, const QStringList &arguments)
    {
        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), root + QStringLiteral("/home"));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), root + QStringLiteral("/home/cache"));
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        probe.setProcessEnvironment(environment);
        if (::geteuid() == 0)
            probe.start(QStringLiteral("setpriv"), QStringList{QStringLiteral("--reuid=65534"),
                                                                QStringLiteral("--regid=65534"),
                                                                QStringLiteral("--clear-groups"),
                                                                QStringLiteral(BAD_INPUT_PROBE)}
                                                       + arguments);
        else
            probe.start(QStringLiteral(BAD_INPUT_PROBE), arguments);
        if (!probe.waitForFinished(300000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
            return {QStringLiteral("PROBE FAILED ") + QString::fromLocal8Bit(probe.readAllStandardError())};
        return QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
};

TARNWICK_TEST_MAIN(TestBadInput)
#include "test_bad_input.moc"
