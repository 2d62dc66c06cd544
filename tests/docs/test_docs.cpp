// Every shell example marked runnable in README.md and docs/ still works with the
// built program, on documents made here.
#include "assets/WriterDocuments.h"
#include "support/ProgramEnvironment.h"
#include "support/TestFiles.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <unistd.h>

namespace {

const QString sourceDir = QStringLiteral(TARNWICK_SOURCE_DIR);
constexpr char kFailingDocument[] = "damaged.odt";

// The Markdown pages below docs/.
QStringList docsPages()
{
    QStringList pages;
    QDirIterator below(sourceDir + QStringLiteral("/docs"), {QStringLiteral("*.md")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (below.hasNext())
        pages << below.next();
    return pages;
}

// The shell blocks of a page whose fence is marked "runnable" ("```sh runnable"),
// by "file:line". A fence of three or more backticks or tildes is closed by one of
// the same character at least as long, as CommonMark reads it, so that a block may
// show a fence; the block's lines lose the fence's indentation.
QList<std::pair<QString, QString>> runnableExamples(const QString &page)
{
    static const QRegularExpression fence(QStringLiteral("^( *)(`{3,}|~{3,})\\s*(\\S*)(.*)$"));
    const QStringList lines = readText(page).split(QLatin1Char('\n'));
    QList<std::pair<QString, QString>> examples;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch open = fence.match(lines[i]);
        if (!open.hasMatch())
            continue;
        const QString marks = open.captured(2);
        QStringList body;
        qsizetype end = i + 1;
        for (; end < lines.size(); ++end) {
            const QString line = lines[end].trimmed();
            if (line.startsWith(marks) && line.count(marks[0]) == line.size())
                break;
            body << lines[end].mid(lines[end].startsWith(open.captured(1)) ? open.capturedLength(1) : 0);
        }
        if (QStringList{"sh", "bash", "shell"}.contains(open.captured(3))
            && open.captured(4).split(QLatin1Char(' ')).contains(QStringLiteral("runnable")))
            examples.append({QDir(sourceDir).relativeFilePath(page) + QStringLiteral(":%1").arg(i + 1),
                             body.join(QLatin1Char('\n'))});
        i = end;
    }
    return examples;
}

// The documents a runnable example finds in its home, which is also its current
// folder. An example may use any of them; add here what a new example needs.
void writeExampleDocuments(const QString &home)
{
    const struct {
        const char *path;
        WriterFormat format;
        QStringList paragraphs;
    } documents[] = {
        {"report.odt", WriterFormat::Odt, {QStringLiteral("Quarterly report"), QStringLiteral("Invoice 117 is paid.")}},
        {"letter.odt", WriterFormat::Odt, {QStringLiteral("Dear reader,"), QStringLiteral("the invoice is enclosed.")}},
        {"Documents/2025/minutes.odt", WriterFormat::Odt, {QStringLiteral("Minutes, January")}},
        {"Documents/2026/budget.odt", WriterFormat::Odt, {QStringLiteral("Budget 2026")}},
        {"Documents/letters/old-letter.sxw", WriterFormat::Sxw, {QStringLiteral("An old letter")}},
        {"Documents/letters/form.ott", WriterFormat::Ott, {QStringLiteral("A form")}},
        {"Downloads/offer.odt", WriterFormat::Odt, {QStringLiteral("An offer")}},
    };
    for (const auto &document : documents) {
        const QString path = home + QLatin1Char('/') + QLatin1String(document.path);
        QDir().mkpath(QFileInfo(path).path());
        writeWriterDocument(path, document.format, document.paragraphs);
    }
    // One that fails, for the examples that list failures.
    writeTruncatedOdt(home + QStringLiteral("/Downloads/") + QLatin1String(kFailingDocument));
}

// The program installed as the README installs it: `cmake --install build --prefix
// ~/.local`, with ~/.local/bin first on PATH. False, with what it said, when it fails.
bool installProgram(const QString &home, QByteArray &said)
{
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(CMAKE_COMMAND), {"--install", QStringLiteral(TARNWICK_BUILD_DIR), "--prefix",
                                                  home + QStringLiteral("/.local")});
    const bool installed = install.waitForFinished(300000) && install.exitCode() == 0;
    said = install.readAll();
    return installed;
}

} // namespace

class TestDocs : public QObject {
    Q_OBJECT

private slots:
    void examples_run_data()
    {
        QTest::addColumn<QString>("script");
        int count = 0;
        for (const QString &page : QStringList{sourceDir + QStringLiteral("/README.md")} + docsPages()) {
            for (const auto &[where, script] : runnableExamples(page)) {
                QTest::newRow(qPrintable(where)) << script;
                ++count;
            }
        }
        QVERIFY2(count > 0, "no example is marked runnable");
    }

    // Each example on its own: a fresh home with the documents and the program
    // installed there, bash stopping at the first command that fails. An example
    // that lists failures lists the one failing document.
    void examples_run()
    {
        QFETCH(QString, script);
        QTemporaryDir home;
        QTemporaryDir temporary;
        writeExampleDocuments(home.path());
        QByteArray said;
        QVERIFY2(installProgram(home.path(), said), said.constData());
        QProcessEnvironment environment = HeadlessProgramEnvironment(home.path());
        environment.insert(QStringLiteral("PATH"),
                           home.filePath(QStringLiteral(".local/bin")) + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
        environment.insert(QStringLiteral("TMPDIR"), temporary.path());

        QProcess shell;
        shell.setProcessEnvironment(environment);
        shell.setWorkingDirectory(home.path());
        // A session of its own, so that an example that never ends goes with all it
        // started (its offices end with their program).
        shell.setChildProcessModifier([] { ::setsid(); });
        shell.start(QStringLiteral("bash"), {"-e", "-o", "pipefail", "-c", script});
        const bool ended = shell.waitForFinished(600000); // far above any example's time
        if (!ended)
            ::kill(-shell.processId(), SIGKILL);
        // A --stdout example started the user's service in this home: it goes too.
        QProcess stop;
        stop.setProcessEnvironment(environment);
        stop.start(home.filePath(QStringLiteral(".local/bin/tarnwick")), {"--serve", "--user", "--stop"});
        stop.waitForFinished(120000);
        const QString output = QString::fromUtf8(shell.readAllStandardOutput());
        const bool listsFailures = script.contains(QStringLiteral(".status==\"failed\""));
        QVERIFY2(ended && shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0
                     && (!listsFailures || output.contains(QLatin1String(kFailingDocument))),
                 qPrintable(QStringLiteral("exit status %1 of\n%2\nstdout:\n%3\nstderr:\n%4")
                                .arg(shell.exitCode())
                                .arg(script, output, QString::fromUtf8(shell.readAllStandardError()))));
    }
};

QTEST_GUILESS_MAIN(TestDocs)
#include "test_docs.moc"
