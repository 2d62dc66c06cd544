#include "app/SettingsStore.h"
#include "input/SampleFiles.h"
#include "support/ScriptedDialogs.h"
#include "support/TestEnvironment.h"
#include "support/FakeListWindow.h"
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

        QVERIFY(RecordSampleFilesIfMissing(w.settingsStore, program.root()));
        program.file("Samples/later.odt");
        QVERIFY(!RecordSampleFilesIfMissing(w.settingsStore, program.root() + "/"));

        const QString samples = program.path("Samples/");
        const QStringList expected{samples + ".hidden", samples + "Form.ott", samples + "letter.odt",
                                   samples + "notes.txt"};
        w.rowTexts << samples.toUpper() + "LETTER.ODT" << samples + "Letter.odt";
        const QStringList before = w.rowTexts;
        LoadSampleFilesCommand(w, program.root());
        LoadSampleFilesCommand(w, program.root());
        QCOMPARE(w.rowTexts, before + expected);

        QCOMPARE(w.scripted.messages.size(), 2);
        const auto &asked = w.scripted.messages[1];
        QCOMPARE(asked.text, QString("Would you like this software to open the folder where these sample files "
                                     "are stored (so that you can view them before working with them)?"));
        QVERIFY(asked.title == "Tarnwick" && asked.buttons == Dialogs::Buttons::YesNo
                && asked.icon == Dialogs::Icon::None);
        QVERIFY(w.scripted.openedFolders.isEmpty());
    }

    void nothingRecordedOrMovedAddsNothingButStillAsks()
    {
        TempTree program;
        FakeWindow w;
        LoadSampleFilesCommand(w, program.root()); // never recorded
        QVERIFY(RecordSampleFilesIfMissing(w.settingsStore, program.root())); // no Samples folder
        QCOMPARE(w.settingsStore.GetSetting("Snapshot", "-"), QString());
        QVERIFY(RecordSampleFilesIfMissing(w.settingsStore, program.root())); // so it is tried again

        program.file("old/Samples/letter.odt");
        FakeWindow moved;
        RecordSampleFiles(moved.settingsStore, program.path("old"));
        QVERIFY(QDir().rename(program.path("old"), program.path("new")));
        moved.scripted.answers.enqueue(Dialogs::Answer::Yes);
        LoadSampleFilesCommand(moved, program.path("new"));
        QVERIFY(moved.rowTexts.isEmpty());
        QCOMPARE(moved.scripted.openedFolders, QStringList({program.path("new/Samples/")}));
        QCOMPARE(w.scripted.messages.size(), 1);
        QVERIFY(w.scripted.errorReports().isEmpty() && moved.scripted.errorReports().isEmpty());
    }
};

TARNWICK_TEST_MAIN(TestSampleFiles)
#include "test_sample_files.moc"
