// Runs one conversion run with the real office over the paths given and prints what
// the user would have seen. The bad-input test starts it as an unprivileged user,
// since root writes wherever it likes.
//   bad_input_probe <destination folder | "beside"> <source>...
// Prints "REPORT <line> <description>" per error report, then "MESSAGE <text>" per
// plain message.
#include "convert/ConversionRun.h"
#include "convert/office/UnoOfficeBridge.h"
#include "support/ScriptedDialogs.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

class ProbeWindow : public RunWindow {
public:
    QStringList rows;
    Destination chosen = Destination::SourceFolder;
    QString folder;

    int rowCount() const override { return int(rows.size()); }
    std::optional<QString> rowText(int position) const override
    {
        if (position < 1 || position > rows.size())
            return std::nullopt;
        return rows[position - 1];
    }
    Destination destination() const override { return chosen; }
    QString folderText() const override { return folder; }
    void setProgressValue(double) override {}
    void setProgressCaption(const QString &) override {}
    void setBusy(bool) override {}
    QString applicationTitle() const override { return QStringLiteral("Tarnwick"); }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() < 2)
        return 2;

    ProbeWindow window;
    if (arguments[0] != QLatin1String("beside")) {
        window.chosen = Destination::ChosenFolder;
        window.folder = arguments[0];
    }
    window.rows = arguments.mid(1);

    ScriptedDialogs dialogs;
    UnoOfficeBridge office;
    ConversionRun run(window, office, dialogs);
    run.setWaitSeconds(0.05);
    run.convertAll();
    office.shutdown();

    QTextStream out(stdout);
    for (const ScriptedDialogs::Shown &shown : dialogs.messages) {
        if (shown.title == QLatin1String("Application Error")) {
            // description CR LF "in <location> at line <step>" CR CR ...
            const QString description = shown.text.section(QStringLiteral("\r\n"), 0, 0);
            const QString line = shown.text.section(QStringLiteral("at line "), 1).section(QLatin1Char('\r'), 0, 0);
            out << "REPORT " << line << ' ' << description << '\n';
        } else {
            out << "MESSAGE " << shown.text << '\n';
        }
    }
    return 0;
}
