#include "app/SettingsStore.h"
#include "support/TestEnvironment.h"
#include "util/AppError.h"

#include <QSettings>
#include <QTemporaryDir>
#include <sys/stat.h>

class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void missingKeyGivesDefault()
    {
        QTemporaryDir dir;
        SettingsStore store(dir.filePath("s.ini"));
        QCOMPARE(store.GetSetting("Extension", "odt"), QString("odt"));
        QCOMPARE(store.GetSetting("LastFolder", QString()), QString());
    }

    void everyCharacterSurvivesARestart()
    {
        QTemporaryDir dir;
        QString all;
        for (int code = 1; code <= 255; ++code)
            all += QChar(code);
        const QString tricky[] = {all, "a,b,c", "@Invalid()", "  padded  ", "\"quoted\"",
                                  "back\\slash", "line\r\nbreak", "Привет 中文 😀"};
        {
            SettingsStore store(dir.filePath("s.ini"));
            int i = 0;
            for (const QString &value : tricky)
                store.SaveSetting(QString("Key%1").arg(i++), value);
        }
        SettingsStore reopened(dir.filePath("s.ini"));
        int i = 0;
        for (const QString &value : tricky) {
            const QString back = reopened.GetSetting(QString("Key%1").arg(i++), "missing");
            QCOMPARE(back, value);
        }
    }

    // Whatever the umask, the store's folder and file are the user's alone, also
    // after Qt has rewritten the file.
    void storeIsPrivate()
    {
        QTemporaryDir dir;
        const mode_t umask = ::umask(0);
        {
            SettingsStore store(dir.filePath("config/Tarnwick/s.ini"));
            store.SaveSetting("Text1", "/out/");
            store.SaveSetting("Text1", "/elsewhere/");
        }
        ::umask(umask);
        const auto modeOf = [&](const char *entry) {
            struct stat info {};
            ::stat(QFile::encodeName(dir.filePath(entry)).constData(), &info);
            return info.st_mode & 07777;
        };
        QCOMPARE(modeOf("config"), mode_t(0700));
        QCOMPARE(modeOf("config/Tarnwick"), mode_t(0700));
        QCOMPARE(modeOf("config/Tarnwick/s.ini"), mode_t(0600));
    }

    void userStoreLivesUnderTheApplicationAndSection()
    {
        {
            SettingsStore store;
            store.SaveSetting("Text1", "/out/");
        }
        QSettings raw(QSettings::IniFormat, QSettings::UserScope, "Brantwell", "Brantwell");
        QCOMPARE(raw.value("Tarnwick/Text1").toString(), QString("/out/"));
        QVERIFY(raw.fileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
        QCOMPARE(SettingsStore().GetSetting("Text1", ""), QString("/out/"));
    }

    void yesNo_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("yes");
        QTest::newRow("True") << "True" << true;
        QTest::newRow("false lower") << "false" << false;
        QTest::newRow("TRUE upper") << "TRUE" << true;
        QTest::newRow("one") << "1" << true;
        QTest::newRow("zero") << "0" << false;
        QTest::newRow("minus one") << "-1" << true;
    }
    void yesNo()
    {
        QFETCH(QString, text);
        QFETCH(bool, yes);
        QCOMPARE(ReadYesNo(text), yes);
    }
    void yesNoRejectsOtherText()
    {
        for (const QString text : {"yes", "", "Truee", "no"}) {
            try {
                ReadYesNo(text);
                QFAIL(qPrintable("accepted " + text));
            } catch (const AppError &error) {
                QCOMPARE(error.description(), QString("Type mismatch"));
            }
        }
    }
};

TARNWICK_TEST_MAIN(TestSettingsStore)
#include "test_settings_store.moc"
