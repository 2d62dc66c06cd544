// The option tables against the manual page: every option of `tarnwick --convert`
// and `tarnwick --serve` has its item in the page's section of its command, headed
// by its spelling, its value and its short name as --help shows them. (That every
// item there is an option --help shows, docs_options checks.)
#include "batch/BatchOptions.h"
#include "serve/ServeOptions.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The head of an option's item in the manual page, as roff writes it.
template <typename Options>
QString manualHead(const OptionRow<Options> &row)
{
    const auto roff = [](QString text) { return text.replace(QLatin1Char('-'), QLatin1String("\\-")); };
    if (!row.valueName.isEmpty())
        return QStringLiteral(".BI %1 \" %2\"").arg(roff(row.name), row.valueName);
    if (!row.shortName.isEmpty())
        return QStringLiteral(".BR %1 \", \" %2").arg(roff(row.name), roff(row.shortName));
    return QStringLiteral(".B %1").arg(roff(row.name));
}

// The heads of the items (".TP" and the line after it) in the section `name` of
// the manual page.
QStringList itemHeads(const QString &manual, const QString &name)
{
    const QString section =
        manual.section(QStringLiteral("\n.SH ") + name + QLatin1Char('\n'), 1).section(QStringLiteral("\n.SH "), 0, 0);
    QStringList heads;
    const QStringList lines = section.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i] == QLatin1String(".TP"))
            heads << lines[i + 1];
    }
    return heads;
}

template <typename Options>
QStringList missingHeads(const QList<OptionRow<Options>> &rows, const QStringList &heads)
{
    QStringList missing;
    for (const OptionRow<Options> &row : rows) {
        if (!heads.contains(manualHead(row)))
            missing << manualHead(row);
    }
    return missing;
}

} // namespace

class TestOptionTables : public QObject {
    Q_OBJECT

private slots:
    void manualPageHasAnItemForEachOption()
    {
        const QString manual = readText(QStringLiteral(SOURCE_DIR "/docs/tarnwick.1.in"));
        QCOMPARE(missingHeads(BatchOptionRows(), itemHeads(manual, QStringLiteral("OPTIONS"))), QStringList());
        // --help is the program's, described once among the options of all.
        QCOMPARE(missingHeads(ServeOptionRows(), itemHeads(manual, QStringLiteral("SERVICE"))
                                                     + itemHeads(manual, QStringLiteral("OPTIONS"))),
                 QStringList());
    }

    // Bash's completion, written from the tables, offers each command's options,
    // folders after --out, files after --report and nothing after a number.
    void completionComesFromTheTables()
    {
        QTemporaryDir dir;
        const QString script = dir.filePath(QStringLiteral("tarnwick"));
        QCOMPARE(QProcess::execute(QStringLiteral(MAKE_COMPLETION), {script}), 0);
        writeFile(dir.filePath(QStringLiteral("folder/letter.odt")));
        const auto complete = [&](const QStringList &words) {
            QProcess bash;
            bash.setWorkingDirectory(dir.path());
            bash.start(QStringLiteral("bash"),
                       QStringList{"-c",
                                   R"(source "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _tarnwick;)"
                                   R"( printf '%s\n' "${COMPREPLY[@]}")",
                                   script}
                           + words);
            bash.waitForFinished(-1);
            return QString::fromUtf8(bash.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        };
        QCOMPARE(complete({"tarnwick", "--convert", "--no-"}), QStringList{"--no-service"});
        QCOMPARE(complete({"tarnwick", "--serve", "--idle"}), QStringList{"--idle-exit"});
        QCOMPARE(complete({"tarnwick", "--serve", "--no-"}), QStringList());
        QCOMPARE(complete({"tarnwick", "--convert", "--out", ""}), QStringList{"folder"});
        QCOMPARE(complete({"tarnwick", "--convert", "--report", "folder/"}), QStringList{"folder/letter.odt"});
        QCOMPARE(complete({"tarnwick", "--convert", "--jobs", ""}), QStringList());
        QCOMPARE(complete({"tarnwick", "--c"}), QStringList{"--convert"});
    }
};

QTEST_GUILESS_MAIN(TestOptionTables)
#include "test_option_tables.moc"
