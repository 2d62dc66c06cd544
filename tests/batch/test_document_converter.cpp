// One document of the batch on the scripted office: what is left on disk when the
// office fails.
#include "batch/DocumentConverter.h"
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
};

QTEST_GUILESS_MAIN(TestDocumentConverter)
#include "test_document_converter.moc"
