#include "app/SettingsStore.h"
#include "input/SampleFiles.h"
#include "support/ScriptedDialogs.h"
#include "support/TestEnvironment.h"
#include "FakeListWindow.h"
#include "TempTree.h"

namespace {

struct FakeWindow : FakeListWindow {
    FakeWindow()
    {
        onBusy = [](bool) { QFAIL("the samples never show the busy pointer"); };
    }
};

} // namespace

class TestSampleFiles : public QObject {
    Q_OBJECT
private slots:
    void scrambledTextRoundTripsThroughTheStore()
    {
        QString every;
        for (int code = 1; code <= 255; ++code)
            every += QChar(code);
        const QString paths = QString::fromUtf8("/home/jö/Отчёты/John’s “Draft” – €.odt|/b") + every;
        QTemporaryDir dir;
        for (const QString &plain : {every, paths, QString()}) {
            const QString scrambled = ScrambleText(plain, SampleKey());
            QCOMPARE(scrambled.size(), plain.toUtf8().size());
            SettingsStore(dir.filePath("settings.ini")).SaveSetting("Snapshot", scrambled);
            QCOMPARE(UnscrambleText(SettingsStore(dir.filePath("settings.ini")).GetSetting("Snapshot", "-"),
                                    SampleKey()),
                     plain);
        }
        // The key runs on across the text: its first letter again after its last.
        QCOMPARE(ScrambleText("aaaaaaaaa", "abcdefgh"), QString::fromLatin1("\xc2\xc3\xc4\xc5\xc6\xc7\xc8\xc9\xc2"));
        // A sum past 255 loses 255: "\u00ff" is the bytes 195 191 in UTF-8.
        QCOMPARE(ScrambleText(QString(QChar(0xff)), "abcdefgh"), QString::fromLatin1("%\""));
    }

    void recordedOnceLoadedOnce()
    {
        TempTree program;
        for (const char *f : {"Samples/letter.odt", "Samples/Form.ott", "Samples/.hidden", "Samples/notes.txt"})
            program.file(f);
        program.folder("Samples/inner");
        FakeWindow w;

        QVERIFY(RecordSampleFilesIfMissing(w.settings, program.root()));
        program.file("Samples/later.odt");
        QVERIFY(!RecordSampleFilesIfMissing(w.settings, program.root() + "/"));

        const QString samples = program.path("Samples/");
        const QStringList expected{samples + ".hidden", samples + "Form.ott", samples + "letter.odt",
                                   samples + "notes.txt"};
        w.rows << samples.toUpper() + "LETTER.ODT" << samples + "Letter.odt";
        const QStringList before = w.rows;
        LoadSampleFilesCommand(w.window(), program.root());
        LoadSampleFilesCommand(w.window(), program.root());
        QCOMPARE(w.rows, before + expected);

        QCOMPARE(w.dialogs.messages.size(), 2);
        const auto &asked = w.dialogs.messages[1];
        QCOMPARE(asked.text, QString("Would you like this software to open the folder where these sample files "
                                     "are stored (so that you can view them before working with them)?"));
        QVERIFY(asked.title == "Tarnwick" && asked.buttons == Dialogs::Buttons::YesNo
                && asked.icon == Dialogs::Icon::None);
        QVERIFY(w.dialogs.openedFolders.isEmpty());
    }

    void nothingRecordedOrMovedAddsNothingButStillAsks()
    {
        TempTree program;
        FakeWindow w;
        LoadSampleFilesCommand(w.window(), program.root()); // never recorded
        QVERIFY(RecordSampleFilesIfMissing(w.settings, program.root())); // no Samples folder
        QCOMPARE(w.settings.GetSetting("Snapshot", "-"), QString());
        QVERIFY(RecordSampleFilesIfMissing(w.settings, program.root())); // so it is tried again

        program.file("old/Samples/letter.odt");
        FakeWindow moved;
        RecordSampleFiles(moved.settings, program.path("old"));
        QVERIFY(QDir().rename(program.path("old"), program.path("new")));
        moved.dialogs.answers.enqueue(Dialogs::Answer::Yes);
        LoadSampleFilesCommand(moved.window(), program.path("new"));
        QVERIFY(moved.rows.isEmpty());
        QCOMPARE(moved.dialogs.openedFolders, QStringList({program.path("new/Samples/")}));
        QCOMPARE(w.dialogs.messages.size(), 1);
        QVERIFY(w.dialogs.errorReports().isEmpty() && moved.dialogs.errorReports().isEmpty());
    }
};

TARNWICK_TEST_MAIN(TestSampleFiles)
#include "test_sample_files.moc"
