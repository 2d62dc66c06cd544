// The whole run, from the window's Start button to the text files, with the real
// office suite doing the conversion.
#include "assets/WriterDocuments.h"
#include "convert/OfficeCheck.h"
#include "convert/office/UnoOfficeBridge.h"
#include "support/TestEnvironment.h"
#include "support/WindowFixture.h"
#include "util/ProcessInfo.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <csignal>

namespace {

// The process is gone, or in the state of /proc/<pid>/stat given (Z dead, T stopped).
bool processStateIs(pid_t pid, char state)
{
    const std::optional<ProcessStatus> status = ReadProcessStatus(pid);
    return !status || status->state == state;
}

// The real office, signalled the moment it has loaded one given document: with
// SIGKILL a document that crashes the office, with SIGSTOP one that hangs it, as
// far as the run can tell.
class OfficeSignalledAfterLoading final : public OfficeBridge {
public:
    OfficeSignalledAfterLoading(UnoOfficeBridge &office, QString victim, int signal)
        : m_office(office), m_victim(std::move(victim)), m_signal(signal)
    {
    }

    OfficeRef createServiceManager() override { return m_office.createServiceManager(); }
    OfficeRef createInstance(const OfficeRef &manager, OfficeService name) override
    {
        return m_office.createInstance(manager, name);
    }
    OfficeRef loadComponentFromURL(const OfficeRef &desktop, const QString &url, FrameTarget frame,
                                   short flags) override
    {
        OfficeRef document = m_office.loadComponentFromURL(desktop, url, frame, flags);
        if (url == FileUrlOf(m_victim)) {
            const auto pid = static_cast<pid_t>(m_office.officeProcessId());
            ::kill(pid, m_signal);
            // A signal takes a moment to act: until then the office still answers.
            const char state = m_signal == SIGKILL ? 'Z' : 'T';
            if (!QTest::qWaitFor([pid, state] { return processStateIs(pid, state); }, 5000))
                qWarning("the office did not give way to the signal");
        }
        return document;
    }
    OfficeRef getCurrentController(const OfficeRef &document) override
    {
        return m_office.getCurrentController(document);
    }
    OfficeRef getFrame(const OfficeRef &controller) override { return m_office.getFrame(controller); }
    PropertyValue newPropertyValue(SaveArgument name, const QString &value) override
    {
        return m_office.newPropertyValue(name, value);
    }
    void executeDispatch(const OfficeRef &dispatcher, const OfficeRef &frame, OfficeCommand command,
                         FrameTarget targetFrame, short flags, const QList<PropertyValue> &arguments) override
    {
        m_office.executeDispatch(dispatcher, frame, command, targetFrame, flags, arguments);
    }
    QString detectType(const OfficeRef &serviceManager, const QString &url) override
    {
        return m_office.detectType(serviceManager, url);
    }
    OfficeRef loadWithoutView(const OfficeRef &serviceManager, const QString &url) override
    {
        return m_office.loadWithoutView(serviceManager, url);
    }
    void showInNewFrame(const OfficeRef &desktop, const OfficeRef &document) override
    {
        m_office.showInNewFrame(desktop, document);
    }
    void lockControllers(const OfficeRef &document) override { m_office.lockControllers(document); }
    bool hasComputedText(const OfficeRef &document) override { return m_office.hasComputedText(document); }
    void storeToURL(const OfficeRef &document, const QList<PropertyValue> &arguments) override
    {
        m_office.storeToURL(document, arguments);
    }
    void close(const OfficeRef &document, bool deliverOwnership) override { m_office.close(document, deliverOwnership); }
    void shutdown() override { m_office.shutdown(); }

private:
    UnoOfficeBridge &m_office;
    QString m_victim;
    int m_signal;
};

} // namespace

class TestConversionRealOffice : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    UnoOfficeBridge m_office;

    // A started window on the real office (or the one given) listing the rows.
    std::unique_ptr<WindowFixture> startWindow(const QStringList &rows, OfficeBridge *office = nullptr)
    {
        auto run = std::make_unique<WindowFixture>();
        if (!run->make(office ? office : &m_office, 0.05).Form_Load())
            qFatal("the office suite cannot be reached");
        for (const QString &row : rows)
            ListView1(*run->window)->AppendRow(row);
        return run;
    }

private slots:
    void cleanupTestCase() { m_office.shutdown(); }

    void startUpEndsWhenTheOfficeCannotBeFound()
    {
        UnoOfficeOptions nowhere = UnoOfficeOptions::defaults();
        nowhere.officeSearchPath.clear();
        UnoOfficeBridge hidden(nowhere);
        WindowFixture fx;
        bool loaded = true;
        const QByteArray reason = standardErrorOf([&] { loaded = fx.make(&hidden).Form_Load(); });
        QVERIFY(!loaded);
        QVERIFY2(reason.startsWith("tarnwick: the office cannot be reached: LibreOffice was not found"), reason);
        QVERIFY(!fx.window->isVisible());
        QCOMPARE(fx.dialogs.messages.size(), 1);
        QCOMPARE(fx.dialogs.messages[0].text, OfficeMissingText());
        QCOMPARE(fx.dialogs.messages[0].buttons, Dialogs::Buttons::YesNo);
    }

    // An office whose profile folder another user could have swapped for a link is
    // refused, and the start-up says so rather than send the user to download one.
    void startUpEndsWhenTheOfficeWouldNotBePrivate()
    {
        const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere"));
        QDir().mkpath(elsewhere);
        UnoOfficeOptions linked = UnoOfficeOptions::defaults();
        linked.profileDir = m_dir.filePath(QStringLiteral("linked-profile"));
        QVERIFY(QFile::link(elsewhere, linked.profileDir));
        UnoOfficeBridge refused(linked);
        WindowFixture fx;
        QVERIFY(!fx.make(&refused).Form_Load());
        QVERIFY(!fx.window->isVisible());
        QCOMPARE(fx.dialogs.messages.size(), 1);
        QCOMPARE(fx.dialogs.messages[0].text,
                 linked.profileDir + " is a link, not a folder of its own, so it was not used. Remove the link and "
                                     "try again.");
        QCOMPARE(fx.dialogs.messages[0].buttons, Dialogs::Buttons::Ok);
        QCOMPARE(fx.dialogs.messages[0].icon, Dialogs::Icon::Critical);
        QVERIFY(fx.dialogs.openedUrls.isEmpty());
        QVERIFY(QDir(elsewhere).isEmpty());
    }

    void threeDocumentsAndABrokenOne()
    {
        const QString in = m_dir.filePath(QStringLiteral("in dir #1"));
        QDir().mkpath(in);
        const QString first = in + "/first.odt", second = in + "/second part.sxw", third = in + "/Ünïcode 100%.odt",
                      broken = in + "/broken.odt", picture = in + "/picture only.odt";
        writeOdt(first, {"The first document."});
        writeSxw(second, {"An old", "OpenOffice document."});
        writeOdt(third, {"Привет, 世界 😀"});
        writeTruncatedOdt(broken);
        writePictureOnlyOdt(picture);

        auto run = startWindow({first, broken, second, third, picture});
        Form1 &w = *run->window;
        const QString out = m_dir.filePath(QStringLiteral("out")) + "/";
        QDir().mkpath(out);
        Text1(w)->setText(out);
        run->dialogs.messages.clear();
        QTest::mouseClick(PushButton2(w), Qt::LeftButton);

        QVERIFY(readText(out + "first.txt").contains("The first document."));
        QVERIFY(readText(out + "second part.txt").contains("An old\nOpenOffice document.")
                || readText(out + "second part.txt").contains("An old\r\nOpenOffice document."));
        QVERIFY(readText(out + "Ünïcode 100%.txt").contains(QString("Привет, 世界 😀")));
        QVERIFY(!QFile::exists(out + "broken.txt"));
        // No text at all is an empty text, not a failure.
        QVERIFY(QFile::exists(out + "picture only.txt"));
        QCOMPARE(QFileInfo(out + "picture only.txt").size(), 0);
        QVERIFY(!run->dialogs.errorReports().join("").contains("picture only"));

        QStringList lines;
        for (const QString &report : run->dialogs.errorReports())
            lines << report.section("at line ", 1).section('\r', 0, 0);
        QCOMPARE(lines.value(0), QString("146")); // the document does not load
        QVERIFY(!lines.contains("142"));
        QVERIFY(lines.contains("164"));
        QCOMPARE(run->dialogs.messages.last().text, QString("Done."));
        QCOMPARE(run->dialogs.messages.last().title, QString("Tarnwick"));

        // Beside the sources this time.
        run->dialogs.messages.clear();
        QTest::mouseClick(Option2(w), Qt::LeftButton);
        QTest::mouseClick(PushButton2(w), Qt::LeftButton);
        QVERIFY(readText(in + "/first.txt").contains("The first document."));
        QVERIFY(readText(in + "/Ünïcode 100%.txt").contains(QString("Привет, 世界 😀")));
        QVERIFY(QFile::exists(in + "/second part.txt"));
        QCOMPARE(run->dialogs.messages.last().text, QString("Done."));
    }

    void officeCrashedOrHungMidRunIsStartedAgainForTheFilesAfter_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("firstError");
        QTest::newRow("crashed") << int(SIGKILL) << "the office has stopped";
        QTest::newRow("hung") << int(SIGSTOP) << "did not answer within 2 seconds";
    }

    void officeCrashedOrHungMidRunIsStartedAgainForTheFilesAfter()
    {
        QFETCH(int, signal);
        QFETCH(QString, firstError);
        const QString in = m_dir.filePath(QStringLiteral("crash-") + QTest::currentDataTag());
        QDir().mkpath(in);
        QStringList rows;
        for (int n = 1; n <= 4; ++n) {
            rows << in + QStringLiteral("/k%1.odt").arg(n);
            writeOdt(rows.last(), {QStringLiteral("Document number %1.").arg(n)});
        }
        UnoOfficeOptions options = UnoOfficeOptions::defaults();
        options.callTimeoutMs = 2000;
        UnoOfficeBridge office(options);
        OfficeSignalledAfterLoading failing(office, rows[1], signal);
        auto run = startWindow(rows, &failing);
        QTest::mouseClick(Option2(*run->window), Qt::LeftButton);
        run->dialogs.messages.clear();
        QTest::mouseClick(PushButton2(*run->window), Qt::LeftButton);

        for (int n : {1, 3, 4})
            QVERIFY(readText(in + QStringLiteral("/k%1.txt").arg(n)).contains(QStringLiteral("Document number %1.").arg(n)));
        QVERIFY(!QFile::exists(in + "/k2.txt"));
        // Only the failed file's steps are reported, from the first that needs the office.
        const QStringList reports = run->dialogs.errorReports();
        QVERIFY(!reports.isEmpty());
        QVERIFY2(reports.first().contains("at line 148") && reports.first().contains(firstError),
                 qPrintable(reports.first()));
        for (const QString &report : reports) {
            const QString line = report.section("at line ", 1).section('\r', 0, 0);
            QVERIFY2(QStringList({"148", "150", "152", "164", "172"}).contains(line), qPrintable(report));
        }
        QCOMPARE(run->dialogs.messages.last().text, QString("Done."));
        QCOMPARE(QDir(in).entryList(QDir::Files | QDir::Hidden).size(), 7); // no lock file left behind
    }

    void closingWhileTheOfficeHangsEndsProgramAndOffice()
    {
        const QString document = m_dir.filePath(QStringLiteral("hang.odt"));
        writeOdt(document, {"Never converted."});
        QProcess probe;
        probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        probe.start(QStringLiteral(CLOSE_PROBE), {document});
        const auto line = [&probe] {
            while (!probe.canReadLine() && probe.waitForReadyRead(120000)) {
            }
            return QString::fromLatin1(probe.readLine()).trimmed();
        };
        const QString office = line();
        QVERIFY2(office.startsWith("office "), qPrintable(office));
        const auto pid = static_cast<pid_t>(office.section(' ', 1).toInt());
        // The copy of the document that the office would have made as it loads it.
        QFile environment(QStringLiteral("/proc/%1/environ").arg(pid));
        QVERIFY(environment.open(QIODevice::ReadOnly));
        QString temporary;
        for (const QByteArray &variable : environment.readAll().split('\0'))
            if (variable.startsWith("TMPDIR="))
                temporary = QFile::decodeName(variable.mid(7));
        QVERIFY(!temporary.isEmpty());
        QVERIFY(QDir().mkpath(temporary + "/lu1.tmp"));
        QVERIFY(QFile::copy(document, temporary + "/lu1.tmp/hang.odt"));

        // The close request waits for no office call, and ends everything long before
        // the hang's two-minute bound; nothing of the document stays in the cache.
        const QString closing = line();
        QVERIFY2(closing.startsWith("closing ") && closing.section(' ', 1).toInt() < 1000, qPrintable(closing));
        QVERIFY(probe.waitForFinished(15000));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(processStateIs(pid, 'Z'), 5000); // gone, or dead and not yet reaped
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("hang.txt"))));
        QVERIFY(QDir(temporary).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    }

    void unwritableDestinationIsReportedAndNothingIsWritten()
    {
        const QString source = m_dir.filePath(QStringLiteral("readonly-source.odt"));
        writeOdt(source, {"Some text."});
        auto run = startWindow({source});
        // A folder that cannot be created: the parent is a plain file.
        const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
        QFile(blocker).open(QIODevice::WriteOnly);
        Text1(*run->window)->setText(blocker + "/");
        Option2(*run->window)->setChecked(false);
        Option1(*run->window)->setChecked(true);
        run->dialogs.messages.clear();
        QTest::mouseClick(PushButton2(*run->window), Qt::LeftButton);
        // The folder text names no folder, so the run refuses to start.
        QCOMPARE(run->dialogs.messages.last().text, QString("Folder does not exist. Please select another folder."));

        // Beside a source where the text file's name is taken by a folder: the office
        // cannot write there, whoever runs the test.
        const QString beside = m_dir.filePath(QStringLiteral("beside"));
        QDir().mkpath(beside + "/doc.txt");
        writeOdt(beside + "/doc.odt", {"Cannot be saved."});
        writeOdt(beside + "/next.odt", {"The next one."});
        ListView1(*run->window)->Clear();
        ListView1(*run->window)->AppendRow(beside + "/doc.odt");
        ListView1(*run->window)->AppendRow(beside + "/next.odt");
        Option2(*run->window)->setChecked(true);
        run->dialogs.messages.clear();
        QTest::mouseClick(PushButton2(*run->window), Qt::LeftButton);
        QCOMPARE(run->dialogs.errorReports().size(), 1);
        QVERIFY(run->dialogs.errorReports()[0].contains("at line 164"));
        QVERIFY(QFileInfo(beside + "/doc.txt").isDir());
        QVERIFY(readText(beside + "/next.txt").contains("The next one."));
        QCOMPARE(run->dialogs.messages.last().text, QString("Done."));
    }
};

TARNWICK_TEST_MAIN(TestConversionRealOffice)
#include "test_conversion_real_office.moc"
