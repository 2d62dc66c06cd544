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

struct Example {
    QString where; // file:line of its fence
    QString script;
};

// README.md and every Markdown page below docs/.
QStringList documentationPages()
{
    QStringList pages{sourceDir + QStringLiteral("/README.md")};
    QDirIterator pagesBelow(sourceDir + QStringLiteral("/docs"), {QStringLiteral("*.md")}, QDir::Files,
                            QDirIterator::Subdirectories);
    while (pagesBelow.hasNext())
        pages << pagesBelow.next();
    pages.sort();
    return pages;
}

// The shell blocks of a Markdown page whose fence is marked "runnable" ("```sh
// runnable"). A fence is three or more backticks or tildes and is closed by one of
// the same character at least as long, as CommonMark reads it, so that a block may
// show a fence; the block's lines lose the fence's indentation.
QList<Example> runnableExamples(const QString &page)
{
    static const QRegularExpression fence(QStringLiteral("^(\\s*)(`{3,}|~{3,})\\s*(.*)$"));
    static const QSet<QString> shells{QStringLiteral("sh"), QStringLiteral("bash"), QStringLiteral("shell")};
    const QStringList lines = readText(page).split(QLatin1Char('\n'));
    const QString name = QDir(sourceDir).relativeFilePath(page);
    QList<Example> examples;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch open = fence.match(lines[i]);
        if (!open.hasMatch())
            continue;
        const QString marks = open.captured(2);
        const QStringList info = open.captured(3).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QStringList body;
        qsizetype end = i + 1;
        for (; end < lines.size(); ++end) {
            const QString line = lines[end].trimmed();
            if (line.startsWith(marks) && line.count(marks[0]) == line.size())
                break;
            qsizetype indent = 0;
            while (indent < open.capturedLength(1) && indent < lines[end].size() && lines[end][indent].isSpace())
                ++indent;
            body << lines[end].mid(indent);
        }
        if (!info.isEmpty() && shells.contains(info.first()) && info.contains(QStringLiteral("runnable")))
            examples.append({QStringLiteral("%1:%2").arg(name).arg(i + 1), body.join(QLatin1Char('\n'))});
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

// The options a help text names: every long option anywhere, and the short ones in
// its option column ("  --null, -0   the list's paths end...").
QSet<QString> optionsOfHelp(const QString &help)
{
    static const QRegularExpression optionColumn(QStringLiteral("^  +(-\\S.*?)(  |$)"));
    QSet<QString> options;
    for (const QString &option : optionWords(help)) {
        if (option.startsWith(QStringLiteral("--")))
            options << option;
    }
    for (const QString &line : help.split(QLatin1Char('\n')))
        options += optionWords(optionColumn.match(line).captured(1));
    return options;
}

// The options the manual page describes: those of each item's head (".TP" and the
// line below it).
QSet<QString> optionsOfManualItems(const QString &manual)
{
    static const QRegularExpression itemHead(QStringLiteral("^\\.TP\\n(\\.B.*)$"), QRegularExpression::MultilineOption);
    QSet<QString> options;
    for (auto head = itemHead.globalMatch(manual); head.hasNext();)
        options += optionWords(head.next().captured(1));
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
        {"template.ott", WriterFormat::Ott, {QStringLiteral("Minutes of the meeting")}},
        {"Documents/2025/minutes-january.odt", WriterFormat::Odt, {QStringLiteral("Minutes, January")}},
        {"Documents/2025/minutes-february.odt", WriterFormat::Odt, {QStringLiteral("Minutes, February")}},
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

    QList<Example> m_examples;

private slots:
    void initTestCase()
    {
        for (const QString &page : documentationPages())
            m_examples += runnableExamples(page);
        QVERIFY2(!m_examples.isEmpty(), "no example is marked runnable");
    }

    // The manual page is the complete reference, and docs/ describe every option too.
    void options_are_described()
    {
        const QString help =
            helpOf({QStringLiteral("--help")}) + helpOf({QStringLiteral("--serve"), QStringLiteral("--help")});
        const QSet<QString> helpOptions = optionsOfHelp(help);
        QVERIFY2(helpOptions.contains(QStringLiteral("--out")) && helpOptions.contains(QStringLiteral("-0")),
                 qPrintable(help));
        const QString manual = readText(sourceDir + QStringLiteral("/docs/tarnwick.1.in"))
                                   .replace(QStringLiteral("\\-"), QStringLiteral("-"));
        QString docs;
        for (const QString &page : documentationPages()) {
            if (!page.endsWith(QStringLiteral("/README.md")))
                docs += readText(page);
        }
        QStringList missing;
        for (const QString &option : helpOptions) {
            if (!names(manual, option))
                missing << option + QStringLiteral(" in the manual page");
            if (!names(docs, option))
                missing << option + QStringLiteral(" in docs/");
        }
        for (const QString &option : optionsOfManualItems(manual)) {
            if (!helpOptions.contains(option))
                missing << option + QStringLiteral(" in --help (the manual page describes it)");
        }
        missing.sort();
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("not found: ") + missing.join(QStringLiteral(", "))));
    }

    // CI runs exactly the test command the README gives.
    void readme_has_the_ci_command()
    {
        const QStringList ci = readText(sourceDir + QStringLiteral("/.ci/run")).split(QLatin1Char('\n'));
        const auto command = std::find_if(ci.begin(), ci.end(), [](const QString &line) {
            return line.startsWith(QStringLiteral("bash scripts/install-deps.sh"));
        });
        QVERIFY(command != ci.end());
        QVERIFY2(readText(sourceDir + QStringLiteral("/README.md")).split(QLatin1Char('\n')).contains(*command),
                 qPrintable(*command));
    }

    void examples_run_data()
    {
        QTest::addColumn<QString>("script");
        for (const Example &example : m_examples)
            QTest::newRow(qPrintable(example.where)) << example.script;
    }

    // Each example on its own: a fresh home with the documents, the built program
    // first on PATH, bash stopping at the first command that fails.
    void examples_run()
    {
        QFETCH(QString, script);
        QTemporaryDir home;
        QTemporaryDir scratch;
        writeExampleDocuments(home.path());
        QDir().mkpath(scratch.filePath(QStringLiteral("bin")));
        QDir().mkpath(scratch.filePath(QStringLiteral("tmp")));
        QVERIFY(QFile::link(QStringLiteral(TARNWICK_BINARY), scratch.filePath(QStringLiteral("bin/tarnwick"))));
        QProcessEnvironment environment = HeadlessProgramEnvironment(home.path());
        environment.insert(QStringLiteral("PATH"),
                           scratch.filePath(QStringLiteral("bin:")) + environment.value(QStringLiteral("PATH")));
        environment.insert(QStringLiteral("TMPDIR"), scratch.filePath(QStringLiteral("tmp")));

        QProcess shell;
        shell.setProcessEnvironment(environment);
        shell.setWorkingDirectory(home.path());
        // A session of its own, so that an example that never ends is stopped with
        // everything it started.
        shell.setChildProcessModifier([] { ::setsid(); });
        shell.start(QStringLiteral("bash"), {QStringLiteral("-e"), QStringLiteral("-o"), QStringLiteral("pipefail"),
                                             QStringLiteral("-c"), script});
        // A bound far above any example's time.
        const bool ended = shell.waitForFinished(600000);
        if (!ended) {
            ::kill(-shell.processId(), SIGTERM);
            if (!shell.waitForFinished(30000))
                ::kill(-shell.processId(), SIGKILL);
        }
        QVERIFY2(ended && shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0,
                 qPrintable(QStringLiteral("exit status %1 of\n%2\nstdout:\n%3\nstderr:\n%4")
                                .arg(shell.exitCode())
                                .arg(script, QString::fromUtf8(shell.readAllStandardOutput()),
                                     QString::fromUtf8(shell.readAllStandardError()))));
    }
};

QTEST_GUILESS_MAIN(TestDocs)
#include "test_docs.moc"
