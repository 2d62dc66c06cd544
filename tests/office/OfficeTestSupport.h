#pragma once

// What the tests of the real office share: checks that turn AppErrors into test
// failures, and the calls the conversion run makes for one file.
#include "convert/OfficeBridge.h"
#include "support/TestFiles.h"
#include "util/AppError.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <optional>

// An AppError fails the test with its description instead of aborting the run.
#define OFFICE_STEP(statement)                                                                                     \
    try {                                                                                                          \
        statement;                                                                                                 \
    } catch (const AppError &error) {                                                                              \
        QFAIL(qPrintable(error.description()));                                                                    \
    }

#define VERIFY_APP_ERROR(statement, expectedPart)                                                                  \
    do {                                                                                                           \
        std::optional<QString> caught;                                                                             \
        try {                                                                                                      \
            statement;                                                                                             \
        } catch (const AppError &caughtError) {                                                                    \
            caught = caughtError.description();                                                                    \
        }                                                                                                          \
        QVERIFY2(caught.has_value(), "no AppError from: " #statement);                                             \
        QVERIFY2(caught->contains(expectedPart, Qt::CaseInsensitive), qPrintable(*caught));                        \
    } while (false)

inline QString readUtf8(const QString &path)
{
    if (!QFile::exists(path))
        return {};
    QString text = readText(path);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

inline bool processIsGone(qint64 pid)
{
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0;
}

inline OfficeRef loadDocument(OfficeBridge &office, const QString &source)
{
    const OfficeRef desktop = office.createInstance(office.createServiceManager(), OfficeService::Desktop);
    return office.loadComponentFromURL(desktop, FileUrlOf(source), FrameTarget::NewFrame, 0);
}

// The calls the conversion run makes for one file, in its order.
inline void convertDocument(OfficeBridge &office, const QString &source, const QString &target)
{
    const OfficeRef serviceManager = office.createServiceManager();
    const OfficeRef desktop = office.createInstance(serviceManager, OfficeService::Desktop);
    const OfficeRef document = office.loadComponentFromURL(desktop, FileUrlOf(source), FrameTarget::NewFrame, 0);
    const OfficeRef dispatcher = office.createInstance(serviceManager, OfficeService::DispatchHelper);
    const OfficeRef frame = office.getFrame(office.getCurrentController(document));
    const QList<PropertyValue> arguments{office.newPropertyValue(SaveArgument::Url, FileUrlOf(target)),
                                         office.newPropertyValue(SaveArgument::FilterName, TextExportFilter())};
    office.executeDispatch(dispatcher, frame, OfficeCommand::SaveAs, FrameTarget::SameFrame, 0, arguments);
    office.close(document, true);
}

// The office's profile goes under the cache folder: keep it, and everything else,
// out of the real home. LC_ALL is set after Qt has chosen its own locale, so that
// only the office sees it: the office must write UTF-8 whatever the locale.
#define OFFICE_TEST_MAIN(TestClass)                                                                                \
    int main(int argc, char **argv)                                                                                \
    {                                                                                                              \
        QTemporaryDir home;                                                                                        \
        qputenv("HOME", home.path().toUtf8());                                                                     \
        qputenv("XDG_CACHE_HOME", (home.path() + "/cache").toUtf8());                                              \
        qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());                                            \
        QCoreApplication app(argc, argv);                                                                          \
        qputenv("LC_ALL", "C");                                                                                    \
        TestClass test;                                                                                            \
        return QTest::qExec(&test, argc, argv);                                                                    \
    }
