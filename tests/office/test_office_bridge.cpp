// The bridge against a real LibreOffice: every document here is made by the test,
// converted by a private office running on a profile in a temporary home.
#include "OfficeTestSupport.h"
#include "assets/WriterDocuments.h"
#include "convert/office/OfficeInstallation.h"
#include "convert/office/UnoOfficeBridge.h"
#include "convert/office/UnoRuntime.h"
#include "convert/office/UnoString.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/embed/ElementModes.hpp>
#include <com/sun/star/embed/XEncryptionProtectedSource.hpp>
#include <com/sun/star/embed/XStorage.hpp>
#include <com/sun/star/embed/XTransactedObject.hpp>
#include <com/sun/star/io/XStream.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XSingleServiceFactory.hpp>
#include <cppuhelper/exc_hlp.hxx>

namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

// The running office, over a connection of the test's own to its pipe.
Reference<css::uno::XComponentContext> officeContext(qint64 officePid)
{
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(officePid));
    commandLine.open(QIODevice::ReadOnly);
    const QString pipe =
        QString::fromLocal8Bit(commandLine.readAll()).section("--accept=pipe,name=", 1).section(';', 0, 0);
    const auto local = localUnoContext(findOffice(defaultOfficeSearchPath()).programDir);
    return Reference<css::uno::XComponentContext>(
        css::bridge::UnoUrlResolver::create(local)->resolve(
            toOUString(QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipe))),
        UNO_QUERY_THROW);
}

// Encrypts the content of a package with `password`, by the office's own package
// code: the office can no longer save the 1.x format, but its storage still
// writes any package.
void encryptContent(qint64 officePid, const QString &path, const QString &password)
{
    using namespace css::embed;
    const auto office = officeContext(officePid);
    const Reference<css::lang::XSingleServiceFactory> factory(
        office->getServiceManager()->createInstanceWithContext("com.sun.star.embed.StorageFactory", office),
        UNO_QUERY_THROW);
    css::uno::Sequence<css::uno::Any> arguments(2);
    arguments.getArray()[0] <<= toOUString(FileUrlOf(path));
    arguments.getArray()[1] <<= ElementModes::READWRITE;
    // A storage is made only through this factory call, which the SDK marks as
    // deprecated in favour of context-taking calls that the factory does not have.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const Reference<XStorage> storage(factory->createInstanceWithArguments(arguments), UNO_QUERY_THROW);
#pragma GCC diagnostic pop
    Reference<XEncryptionProtectedSource>(storage, UNO_QUERY_THROW)->setEncryptionPassword(toOUString(password));

    css::uno::Sequence<sal_Int8> content;
    const auto reader = storage->openStreamElement("content.xml", ElementModes::READ)->getInputStream();
    reader->readBytes(content, 1 << 20);
    reader->closeInput();
    // Written anew, the stream takes the storage's password.
    const auto writer = storage->openStreamElement("content.xml", ElementModes::READWRITE | ElementModes::TRUNCATE);
    writer->getOutputStream()->writeBytes(content);
    writer->getOutputStream()->closeOutput();
    Reference<XTransactedObject>(storage, UNO_QUERY_THROW)->commit();
    Reference<css::lang::XComponent>(storage, UNO_QUERY_THROW)->dispose();
}

// A value of the running office's configuration: `node`, then each name in
// `names` in turn. These calls are the test's own, not the bridge's: an exception
// of theirs (an office that went away under them) is printed with its type and
// gives no value, so that the check fails, instead of ending the test program.
css::uno::Any officeSetting(qint64 officePid, const QString &node, const QStringList &names)
try {
    const auto office = officeContext(officePid);
    css::beans::PropertyValue nodePath;
    nodePath.Name = "nodepath";
    nodePath.Value <<= toOUString(node);
    css::uno::Sequence<css::uno::Any> arguments(1);
    arguments.getArray()[0] <<= nodePath;
    css::uno::Any value(css::configuration::theDefaultProvider::get(office)->createInstanceWithArguments(
        "com.sun.star.configuration.ConfigurationAccess", arguments));
    for (const QString &name : names)
        value = Reference<css::container::XNameAccess>(value, UNO_QUERY_THROW)->getByName(toOUString(name));
    return value;
} catch (const css::uno::Exception &error) {
    qWarning("%s: %s", qPrintable(toQString(cppu::getCaughtException().getValueTypeName())),
             qPrintable(toQString(error.Message)));
    return {};
}

} // namespace

class TestOfficeBridge : public QObject {
    Q_OBJECT

private:
    void convert(const QString &source, const QString &target) { convertDocument(*m_bridge, source, target); }

    OfficeRef load(const QString &source) { return loadDocument(*m_bridge, source); }

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    std::unique_ptr<UnoOfficeBridge> m_bridge;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_bridge = std::make_unique<UnoOfficeBridge>();
    }

    void cleanupTestCase()
    {
        const qint64 pid = m_bridge->officeProcessId();
        m_bridge->shutdown();
        m_bridge->shutdown();
        QVERIFY(pid == 0 || processIsGone(pid));
        QCOMPARE(m_bridge->officeProcessId(), 0);
    }

    void fileUrlsAreFullyEncoded_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("url");
        QTest::newRow("plain") << "/home/u/a.odt" << "file:///home/u/a.odt";
        QTest::newRow("space") << "/home/u/My Docs/a b.odt" << "file:///home/u/My%20Docs/a%20b.odt";
        QTest::newRow("hash") << "/tmp/#1.odt" << "file:///tmp/%231.odt";
        QTest::newRow("percent sequence") << "/tmp/a%20b.odt" << "file:///tmp/a%2520b.odt";
        QTest::newRow("question mark") << "/tmp/why?.odt" << "file:///tmp/why%3F.odt";
        QTest::newRow("non-ASCII") << "/tmp/über.odt" << "file:///tmp/%C3%BCber.odt";
    }

    void fileUrlsAreFullyEncoded()
    {
        QFETCH(QString, path);
        QFETCH(QString, url);
        QCOMPARE(FileUrlOf(path), url);
    }

    void convertsOdtKeepingEveryCharacter()
    {
        // The test runs under LC_ALL=C (see main): the office must still write UTF-8.
        const QStringList paragraphs{"Plain English.", "Съешь же ещё этих мягких булок.", "東京都の天気は晴れ。",
                                     "Party 🎉 time"};
        writeOdt(path("unicode.odt"), paragraphs);
        OFFICE_STEP(convert(path("unicode.odt"), path("unicode.txt")));
        const QString text = readUtf8(path("unicode.txt"));
        for (const QString &paragraph : paragraphs)
            QVERIFY2(text.contains(paragraph), qPrintable(text));
    }

    void convertsFilesWithAwkwardNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("spaces") << "with some spaces";
        QTest::newRow("hash") << "chapter #12";
        QTest::newRow("percent sequence") << "fifty%20percent";
        QTest::newRow("lone percent") << "100% done";
        QTest::newRow("question mark") << "why?";
        QTest::newRow("non-ASCII") << "Grüße из Москвы 日本";
    }

    void convertsFilesWithAwkwardNames()
    {
        QFETCH(QString, name);
        const QDir folder(path("odd #%20 ü " + QString(QTest::currentDataTag())));
        QVERIFY(QDir().mkpath(folder.path()));
        writeOdt(folder.filePath(name + ".odt"), {"Text of " + name});

        OFFICE_STEP(convert(folder.filePath(name + ".odt"), folder.filePath(name + ".txt")));
        QVERIFY2(readUtf8(folder.filePath(name + ".txt")).contains("Text of " + name),
                 qPrintable(folder.entryList(QDir::Files).join(", ")));
        QCOMPARE(folder.entryList(QDir::Files).size(), 2); // nothing written under a wrong name
    }

    void convertsOpenOffice1Document()
    {
        writeSxw(path("old.sxw"), {"Written by OpenOffice.org 1.1", "Zweite Zeile"});
        OFFICE_STEP(convert(path("old.sxw"), path("old.txt")));
        const QString text = readUtf8(path("old.txt"));
        QVERIFY2(text.contains("Written by OpenOffice.org 1.1") && text.contains("Zweite Zeile"), qPrintable(text));
    }

    // Encrypted by the office itself, in both formats; were the password ignored,
    // each would load. Only the office tells why a load failed: a damaged document
    // is not called protected.
    void passwordProtectedDocumentsAreNamedSo()
    {
        writeOdt(path("secret.odt"), {"A secret."});
        OfficeRef plain;
        OFFICE_STEP(plain = load(path("secret.odt")));
        OFFICE_STEP(m_bridge->storeToURL(plain, {{SaveArgument::Url, FileUrlOf(path("locked.odt"))},
                                                 {SaveArgument::FilterName, "writer8"},
                                                 {SaveArgument::Password, "secret"}}));
        OFFICE_STEP(m_bridge->close(plain, true));
        writeSxw(path("locked.sxw"), {"An old secret."});
        {
            // The office's package code writes the storage in place, which a
            // confined office may not do in the test's folder: an unconfined office
            // makes this one document.
            m_bridge->shutdown();
            qputenv("TARNWICK_TEST_NO_CONFINEMENT", "1");
            const auto confinedAgain = qScopeGuard([this] {
                m_bridge->shutdown();
                qunsetenv("TARNWICK_TEST_NO_CONFINEMENT");
            });
            OFFICE_STEP(m_bridge->createServiceManager());
            try {
                encryptContent(m_bridge->officeProcessId(), path("locked.sxw"), "secret");
            } catch (const css::uno::Exception &error) {
                QFAIL(qPrintable(toQString(error.Message)));
            }
        }
        writeTruncatedOdt(path("damaged.odt"));

        for (const char *name : {"locked.odt", "locked.sxw", "damaged.odt"}) {
            const QString expected = QString(name).startsWith("locked") ? "protected by a password"
                                                                        : "did not say why";
            VERIFY_APP_ERROR(load(path(name)), expected);
            VERIFY_APP_ERROR(m_bridge->loadWithoutView(m_bridge->createServiceManager(), FileUrlOf(path(name))),
                             expected);
        }
    }

    void corruptDocumentFailsAtLoadAndNextStillConverts()
    {
        writeTruncatedOdt(path("truncated.odt"));
        VERIFY_APP_ERROR(load(path("truncated.odt")), "truncated.odt");
        VERIFY_APP_ERROR(load(path("no such file.odt")), "no such file.odt");

        writeOdt(path("after-corrupt.odt"), {"Still working"});
        OFFICE_STEP(convert(path("after-corrupt.odt"), path("after-corrupt.txt")));
        QVERIFY(readUtf8(path("after-corrupt.txt")).contains("Still working"));
    }

    void refusedSaveIsAnError()
    {
        writeOdt(path("refused.odt"), {"Nowhere to go"});
        OfficeRef document;
        OFFICE_STEP(document = load(path("refused.odt")));
        const auto save = [&](const QString &target, const QString &filter) {
            m_bridge->executeDispatch(
                m_bridge->createInstance(m_bridge->createServiceManager(), OfficeService::DispatchHelper),
                m_bridge->getFrame(m_bridge->getCurrentController(document)), OfficeCommand::SaveAs,
                FrameTarget::SameFrame, 0, {{SaveArgument::Url, FileUrlOf(target)}, {SaveArgument::FilterName, filter}});
        };
        // A plain file where the target's folder should be.
        const QString target = path("refused.odt/refused.txt");
        VERIFY_APP_ERROR(save(target, TextExportFilter()), "refused.odt: Not a directory");
        QVERIFY(!QFile::exists(target));
        // An export the office does not have.
        VERIFY_APP_ERROR(save(path("refused.txt"), QStringLiteral("No such filter")), ".uno:SaveAs");
        // A save's hidden file that is gone (the window's close removed it) is not
        // made again.
        const QString removedPart = path(".tarnwick-0123456789abcdef.part");
        VERIFY_APP_ERROR(save(removedPart, TextExportFilter()), "No such file or directory");
        QVERIFY(!QFile::exists(removedPart));
        OFFICE_STEP(m_bridge->close(document, true));
    }

    void missingHandlesAreErrorsNotCrashes()
    {
        VERIFY_APP_ERROR(m_bridge->loadComponentFromURL(nullptr, FileUrlOf(path("x.odt")), FrameTarget::NewFrame, 0), "desktop");
        VERIFY_APP_ERROR(m_bridge->getCurrentController(nullptr), "document");
        VERIFY_APP_ERROR(m_bridge->getFrame(OfficeRef()), "controller");
        VERIFY_APP_ERROR(m_bridge->close(nullptr, true), "document");
        VERIFY_APP_ERROR(m_bridge->executeDispatch(nullptr, nullptr, OfficeCommand::SaveAs, FrameTarget::SameFrame, 0, {}), "dispatcher");
        // A document where a desktop belongs.
        writeOdt(path("handle.odt"), {"x"});
        OfficeRef document;
        OFFICE_STEP(document = load(path("handle.odt")));
        VERIFY_APP_ERROR(m_bridge->loadComponentFromURL(document, FileUrlOf(path("handle.odt")), FrameTarget::NewFrame, 0),
                         "desktop");
        OFFICE_STEP(m_bridge->close(document, true));
    }

    void killedOfficeIsStartedAgain()
    {
        writeOdt(path("before-kill.odt"), {"Before the kill"});
        OfficeRef staleDocument;
        OFFICE_STEP(staleDocument = load(path("before-kill.odt")));
        const qint64 pid = m_bridge->officeProcessId();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
        QTRY_VERIFY(processIsGone(pid) || m_bridge->officeProcessId() != pid);

        VERIFY_APP_ERROR(m_bridge->close(staleDocument, true), "office");

        writeOdt(path("after-kill.odt"), {"After the kill"});
        OFFICE_STEP(convert(path("after-kill.odt"), path("after-kill.txt")));
        QVERIFY(readUtf8(path("after-kill.txt")).contains("After the kill"));
        QVERIFY(m_bridge->officeProcessId() != pid);
    }

    void officeRunsWithMacrosLinkUpdatesAndItsViewsOff()
    {
        OFFICE_STEP(m_bridge->createServiceManager());
        for (int start = 1; start <= 2; ++start) { // a new profile, then the same one again
            const qint64 pid = m_bridge->officeProcessId();
            const auto setting = [pid](const QString &node, const QStringList &names) {
                return officeSetting(pid, node, names);
            };
            QCOMPARE(setting("/org.openoffice.Office.Common/Security/Scripting", {"DisableMacrosExecution"}),
                     css::uno::Any(true));
            QCOMPARE(setting("/org.openoffice.Office.Common/Security/Scripting", {"MacroSecurityLevel"}),
                     css::uno::Any(sal_Int32(3)));
            QCOMPARE(setting("/org.openoffice.Office.Writer/Content/Update", {"Link"}), css::uno::Any(sal_Int32(0)));
            QCOMPARE(setting("/org.openoffice.Office.Common/History", {"PickListSize"}), css::uno::Any(sal_Int32(0)));
            QCOMPARE(setting("/org.openoffice.Office.Recovery/AutoSave", {"Enabled"}), css::uno::Any(false));
            QCOMPARE(setting("/org.openoffice.Office.Linguistic/SpellChecking", {"IsSpellAuto"}), css::uno::Any(false));
            QCOMPARE(setting("/org.openoffice.Office.UI.WriterWindowState/UIElements/States",
                             {"private:resource/statusbar/statusbar", "Visible"}),
                     css::uno::Any(false));
            QCOMPARE(setting("/org.openoffice.Office.UI.WriterWindowState/UIElements/States",
                             {"private:resource/toolbar/standardbar", "Visible"}),
                     css::uno::Any(false));
            QCOMPARE(setting("/org.openoffice.Office.Views/Windows", {"swriter/10336", "Visible"}),
                     css::uno::Any(false));
            m_bridge->shutdown();
            OFFICE_STEP(m_bridge->createServiceManager());
        }
    }

    void hiddenOfficeIsAnError()
    {
        UnoOfficeOptions options = UnoOfficeOptions::defaults();
        options.officeSearchPath.clear();
        UnoOfficeBridge withoutOffice(options);
        VERIFY_APP_ERROR(withoutOffice.createServiceManager(), "LibreOffice was not found");
        VERIFY_APP_ERROR(withoutOffice.newPropertyValue(SaveArgument::Url, "file:///tmp/a.txt"), "LibreOffice was not found");

        options.officeSearchPath = {m_dir.path()};
        UnoOfficeBridge inWrongFolder(options);
        VERIFY_APP_ERROR(inWrongFolder.createServiceManager(), m_dir.path());
    }
};

OFFICE_TEST_MAIN(TestOfficeBridge)
#include "test_office_bridge.moc"
