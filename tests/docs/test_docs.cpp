// The documentation against the built program: every option the help names is
// described in the manual page and in docs/, and every shell example marked
// runnable in README.md and docs/ still works, on documents made here.
#include "assets/WriterDocuments.h"
#include "support/ProgramEnvironment.h"
#include "support/TestFiles.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <unistd.h>

namespace {

const QString sourceDir = QStringLiteral(TARNWICK_SOURCE_DIR);

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

// The options a piece of text names ("--out", "-0").
QSet<QString> optionWords(const QString &text)
{
    static const QRegularExpression option(QStringLiteral("(?<![\\w-])--?[A-Za-z0-9][a-z0-9-]*"));
    QSet<QString> options;
    for (auto found = option.globalMatch(text); found.hasNext();)
        options << found.next().captured();
    return options;
}

bool names(const QString &text, const QString &option)
{
    return text.contains(
        QRegularExpression(QStringLiteral("(?<![\\w-])%1(?![\\w-])").arg(QRegularExpression::escape(option))));
}

QString helpOf(const QStringList &arguments)
{
    QTemporaryDir home;
    QProcess program;
    program.setProcessEnvironment(HeadlessProgramEnvironment(home.path()));
    program.start(QStringLiteral(TARNWICK_BINARY), arguments);
    if (!program.waitForFinished(60000) || program.exitCode() != 0)
        qFatal("tarnwick %s did not print its help", qPrintable(arguments.join(QLatin1Char(' '))));
    return QString::fromUtf8(program.readAllStandardOutput());
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
    };
    for (const auto &document : documents) {
        const QString path = home + QLatin1Char('/') + QLatin1String(document.path);
        QDir().mkpath(QFileInfo(path).path());
        writeWriterDocument(path, document.format, document.paragraphs);
    }
}

} // namespace

class TestDocs : public QObject {
    Q_OBJECT

private slots:
    // The manual page is the complete reference, and docs/ describe every option too:
    // the long options the help names anywhere, the short ones in its option column
    // ("  --null, -0   ..."). And every option of an item of the manual page exists.
    void options_are_described()
    {
        const QString help = helpOf({QStringLiteral("--help")}) + helpOf({QStringLiteral("--serve"), "--help"});
        QSet<QString> helpOptions;
        for (const QString &option : optionWords(help)) {
            if (option.startsWith(QStringLiteral("--")))
                helpOptions << option;
        }
        static const QRegularExpression optionColumn(QStringLiteral("^  +(-\\S.*?)(  |$)"));
        for (const QString &line : help.split(QLatin1Char('\n')))
            helpOptions += optionWords(optionColumn.match(line).captured(1));

        const QString manual = readText(sourceDir + QStringLiteral("/docs/tarnwick.1.in")).replace("\\-", "-");
        QString docs;
        for (const QString &page : docsPages())
            docs += readText(page);
        QStringList missing;
        for (const QString &option : helpOptions) {
            if (!names(manual, option))
                missing << option + QStringLiteral(" in the manual page");
            if (!names(docs, option))
                missing << option + QStringLiteral(" in docs/");
        }
        static const QRegularExpression itemHead(QStringLiteral("^\\.TP\\n(\\.B.*)$"),
                                                 QRegularExpression::MultilineOption);
        for (auto head = itemHead.globalMatch(manual); head.hasNext();) {
            for (const QString &option : optionWords(head.next().captured(1))) {
                if (!helpOptions.contains(option))
                    missing << option + QStringLiteral(" in --help");
            }
        }
        missing.sort();
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("not found: ") + missing.join(QStringLiteral(", "))));
    }

    // CI runs exactly the test command the README gives.
    void readme_has_the_ci_command()
    {
        const QStringList ci = readText(sourceDir + QStringLiteral("/.ci/run")).split(QLatin1Char('\n'));
        const QStringList command = ci.filter(QRegularExpression(QStringLiteral("^bash scripts/install-deps.sh ")));
        QVERIFY2(command.size() == 1 && readText(sourceDir + "/README.md").split('\n').contains(command[0]),
                 qPrintable(ci.join(QLatin1Char('\n'))));
    }

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

    // Each example on its own: a fresh home with the documents, the built program
    // first on PATH, bash stopping at the first command that fails.
    void examples_run()
    {
        QFETCH(QString, script);
        QTemporaryDir home;
        QTemporaryDir bin;
        writeExampleDocuments(home.path());
        QVERIFY(QFile::link(QStringLiteral(TARNWICK_BINARY), bin.filePath(QStringLiteral("tarnwick"))));
        QProcessEnvironment environment = HeadlessProgramEnvironment(home.path());
        environment.insert(QStringLiteral("PATH"), bin.path() + ':' + environment.value(QStringLiteral("PATH")));
        environment.insert(QStringLiteral("TMPDIR"), bin.path());

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
        QVERIFY2(ended && shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0,
                 qPrintable(QStringLiteral("exit status %1 of\n%2\nstdout:\n%3\nstderr:\n%4")
                                .arg(shell.exitCode())
                                .arg(script, QString::fromUtf8(shell.readAllStandardOutput()),
                                     QString::fromUtf8(shell.readAllStandardError()))));
    }
};

QTEST_GUILESS_MAIN(TestDocs)
#include "test_docs.moc"
