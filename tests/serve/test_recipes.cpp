// The recipes of docs/one-at-a-time.md (git, less, lf's preview, a loop over find)
// run as they are written there, with the built program as `tarnwick`; the manual
// page shows the same lines.
#include "assets/WriterDocuments.h"
#include "support/ProgramEnvironment.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestRecipes : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
    QMap<QString, QString> m_recipes;

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

    // Runs a bash script in `folder`; its output, or a failed check with its errors.
    QByteArray shell(const QString &script, const QString &folder)
    {
        QProcess bash;
        bash.setProcessEnvironment(m_environment);
        bash.setWorkingDirectory(folder);
        bash.start(QStringLiteral("bash"), {QStringLiteral("-euo"), QStringLiteral("pipefail"), QStringLiteral("-c"), script});
        if (!bash.waitForFinished(300000) || bash.exitCode() != 0)
            qWarning("%s\n%s", qPrintable(script), bash.readAllStandardError().constData());
        return bash.exitCode() == 0 ? bash.readAllStandardOutput() : QByteArray("failed");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_environment = HeadlessProgramEnvironment(path(QStringLiteral("home")));
        QDir().mkpath(path("bin"));
        QVERIFY(QFile::link(QStringLiteral(TARNWICK_BINARY), path("bin/tarnwick")));
        m_environment.insert(QStringLiteral("PATH"), path("bin") + ':' + m_environment.value(QStringLiteral("PATH")));
        const QString guide = readText(QStringLiteral(SOURCE_DIR "/docs/one-at-a-time.md"));
        const QRegularExpression block(QStringLiteral("<!-- recipe: (\\w+) -->\\n```sh\\n(.*?)```"),
                                       QRegularExpression::DotMatchesEverythingOption);
        for (auto match = block.globalMatch(guide); match.hasNext();) {
            const auto found = match.next();
            m_recipes.insert(found.captured(1), found.captured(2));
        }
        QCOMPARE(m_recipes.keys(), QStringList({"find", "git", "less", "lf"}));
    }

    void cleanupTestCase() { shell(QStringLiteral("tarnwick --serve --user --stop"), path(".")); }

    // git log -p shows what changed in the document's text, converted once per
    // version (cachetextconv keeps the texts in git's notes).
    void gitLogShowsTheTextChanges()
    {
        const QString repository = path("repository");
        QDir().mkpath(repository);
        QVERIFY(shell("git init -q && git config user.name Test && git config user.email test@example.org",
                      repository) != "failed");
        QVERIFY(shell(m_recipes["git"], repository) != "failed");
        for (int version = 1; version <= 3; ++version) {
            writeOdt(repository + "/report.odt", {"The report", QStringLiteral("Version %1 of the figures").arg(version)});
            QVERIFY(shell(QStringLiteral("git add -A && git commit -q -m v%1").arg(version), repository) != "failed");
        }
        const QByteArray log = shell(QStringLiteral("git log -p -- report.odt"), repository);
        QVERIFY2(log.contains("-Version 2 of the figures") && log.contains("+Version 3 of the figures"),
                 log.constData());
        QVERIFY(log.contains("The report"));
        QVERIFY(!shell(QStringLiteral("git notes --ref=textconv/odt list"), repository).isEmpty());
    }

    // less, lf's previewer and the find loop give the document's text.
    void lessLfAndFindShowTheText()
    {
        QDir().mkpath(path("home/Documents/old"));
        writeOdt(path("home/Documents/Invoice 42.odt"), {"Invoice 42", "Due in March"});
        writeSxw(path("home/Documents/old/letter.sxw"), {"A letter, with an INVOICE enclosed"});
        writeOdt(path("home/Documents/minutes.odt"), {"Minutes of the meeting"});
        const QByteArray paged = shell(m_recipes["less"] + "less 'Invoice 42.odt' | cat", path("home/Documents"));
        QVERIFY2(paged.contains("Invoice 42\r\nDue in March") || paged.contains("Invoice 42\nDue in March"),
                 paged.constData());
        writeFile(path("home/preview"), m_recipes["lf"].toUtf8());
        const QByteArray preview =
            shell(QStringLiteral("chmod +x ~/preview && ~/preview ~/Documents/old/letter.sxw 80 24 0 0"), path("."));
        QVERIFY2(preview.contains("A letter, with an INVOICE enclosed"), preview.constData());
        const QByteArray found = shell(m_recipes["find"], path("."));
        QList<QByteArray> lines = found.split('\n');
        std::sort(lines.begin(), lines.end());
        QCOMPARE(lines, QList<QByteArray>({"", QFile::encodeName(path("home/Documents/Invoice 42.odt")),
                                           QFile::encodeName(path("home/Documents/old/letter.sxw"))}));
    }

    // The manual page shows each recipe's lines as the guide does.
    void manualPageShowsThem()
    {
        QString manual = readText(QStringLiteral(SOURCE_DIR "/docs/tarnwick.1.in"));
        manual.replace(QLatin1String("\\-"), QLatin1String("-"))
            .replace(QLatin1String("\\(aq"), QLatin1String("'"))
            .replace(QLatin1String("\\e"), QLatin1String("\\"))
            .replace(QLatin1String("\\&"), QString());
        for (const QString &recipe : std::as_const(m_recipes)) {
            for (const QString &line : recipe.split('\n', Qt::SkipEmptyParts))
                QVERIFY2(manual.contains(line), qPrintable(line));
        }
    }
};

QTEST_GUILESS_MAIN(TestRecipes)
#include "test_recipes.moc"
