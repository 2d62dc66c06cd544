// One document of the batch on the scripted office: what is left on disk when the
// office fails.
#include "batch/DocumentConverter.h"
#include "batch/UpToDate.h"
#include "support/FakeOffice.h"
#include "support/TestFiles.h"
#include "util/AppError.h"

#include <QTemporaryDir>
#include <QTest>

class TestDocumentConverter : public QObject {
    Q_OBJECT

private slots:
    // A save the office refuses, on either way: the old text file stays as it was,
    // no half-written file is left beside it, the document is closed again, and the
    // reason names the text file, not the hidden file the office saved into.
    void refusedSaveKeepsTheOldText()
    {
        for (const bool withFields : {false, true}) {
            QTemporaryDir dir;
            const QString source = writeFile(dir.filePath("letter.odt"));
            const QString target = writeFile(dir.filePath("letter.txt"), "old text");
            FakeOffice office;
            office.refuseSaves = true;
            if (withFields)
                office.sourcesWithFields << source;
            SharedTextFiles textFiles;
            try {
                ConvertDocument(office, source, target, textFiles);
                QFAIL("the refused save was not told");
            } catch (const AppError &error) {
                QCOMPARE(error.description(), "The office refused .uno:SaveAs to " + target + ".");
            }
            QCOMPARE(readBytes(target), QByteArray("old text"));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"letter.odt", "letter.txt"}));
            QCOMPARE(office.closed, 1);
        }
    }

    // A folder swapped for a link gets nothing through it, on either way: swapped
    // before the save, the walk down from the mirrored tree's folder refuses the link;
    // swapped during the save, the save went into the folder as it was opened, which
    // is no longer where it was, so nothing takes the text file's name there either.
    void swappedFolderGetsNothing()
    {
        for (const bool duringTheSave : {false, true}) {
            for (const bool withFields : {false, true}) {
                QTemporaryDir dir;
                const QString source = writeFile(dir.filePath("report.odt")), tree = dir.filePath("out"),
                              elsewhere = dir.filePath("elsewhere");
                writeFile(elsewhere + "/report.txt", "the user's own text");
                QVERIFY(QDir().mkpath(tree + "/b"));
                const auto swap = [&] {
                    QVERIFY(QDir().rename(tree + "/b", tree + "/moved"));
                    QVERIFY(QFile::link(elsewhere, tree + "/b"));
                };
                FakeOffice office;
                if (withFields)
                    office.sourcesWithFields << source;
                if (duringTheSave)
                    office.duringSave = swap;
                else
                    swap();
                SharedTextFiles textFiles(tree);
                try {
                    ConvertDocument(office, source, tree + "/b/report.txt", textFiles);
                    QFAIL("a save into a swapped folder was not refused");
                } catch (const AppError &error) {
                    QVERIFY2(error.description().contains(duringTheSave ? "was moved or replaced during the save"
                                                                        : "is a symbolic link"),
                             qPrintable(error.description()));
                    QVERIFY(!error.description().contains("/proc/"));
                }
                QCOMPARE(readBytes(elsewhere + "/report.txt"), QByteArray("the user's own text"));
                QCOMPARE(QDir(elsewhere).entryList(QDir::Files | QDir::Hidden), QStringList{"report.txt"});
                QCOMPARE(QDir(tree + "/moved").entryList(QDir::Files | QDir::Hidden), QStringList());
            }
        }
    }

    // The text file takes the time its document had as its load began, on either
    // way: a document changed during its conversion is newer than its text file, and
    // --update converts it again; one left alone since is up to date.
    void textFileHasTheDocumentsTimeFromBeforeItsLoad()
    {
        for (const bool withFields : {false, true}) {
            QTemporaryDir dir;
            const BatchDocument document{writeFile(dir.filePath("letter.odt")), dir.filePath("letter.txt")};
            const QDateTime written = QDateTime::currentDateTime().addSecs(-60);
            QFile source(document.source);
            QVERIFY(source.open(QIODevice::ReadWrite) && source.setFileTime(written, QFileDevice::FileModificationTime));
            FakeOffice office;
            if (withFields)
                office.sourcesWithFields << document.source;
            office.duringLoad = [&] { writeFile(document.source, "edited meanwhile"); };
            SharedTextFiles textFiles;
            ConvertDocument(office, document.source, document.target, textFiles);
            QCOMPARE(QFileInfo(document.target).lastModified(), written);
            QVERIFY(!TextFileIsUpToDate(document));

            office.duringLoad = {};
            SharedTextFiles again;
            ConvertDocument(office, document.source, document.target, again);
            QVERIFY(TextFileIsUpToDate(document));
        }
    }
};

QTEST_GUILESS_MAIN(TestDocumentConverter)
#include "test_document_converter.moc"
