// Draws the window in the middle of a conversion run, for the README: the sample
// documents listed, the progress bar naming the file at hand, the text files going
// into a folder of the home folder. Runs the real window and the real office.
// Usage: picture_of_a_run <program folder> <destination folder> <output.png>
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "convert/office/UnoOfficeBridge.h"
#include "util/EventPump.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace {

// Answers every question with No and shows nothing.
class SilentDialogs : public Dialogs {
public:
    Answer message(const QString &, const QString &, Buttons buttons, Icon) override
    {
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
    QStringList openFiles(const QString &, const QStringList &) override { return {}; }
    QString browseFolder(const QString &, const QString &) override { return {}; }
    std::optional<QString> inputText(const QString &, const QString &, const QString &) override { return {}; }
    void openUrl(const QString &) override {}
    void openFolder(const QString &) override {}
};

template <class W>
W *control(QWidget &window, const char *name)
{
    return window.findChild<W *>(QLatin1String(name));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: picture_of_a_run <program folder> <destination folder> <output.png>\n");
        return 2;
    }
    const QString programFolder = QString::fromLocal8Bit(argv[1]);
    const QString destination = QString::fromLocal8Bit(argv[2]);
    const QString output = QString::fromLocal8Bit(argv[3]);
    QDir().mkpath(destination);

    QTemporaryDir settingsFolder;
    SettingsStore settings(settingsFolder.filePath(QStringLiteral("settings.ini")));
    SilentDialogs dialogs;
    UnoOfficeBridge office;
    Form1 window(dialogs, settings, office);
    window.setProgramFolder(programFolder);
    window.setHomePageDraw([] { return 1; });
    const auto end = [&](int code) {
        office.shutdown();
        settingsFolder.remove(); // _Exit runs no destructors
        std::_Exit(code);
    };
    window.setTerminator([&] { end(1); });
    if (!window.Form_Load())
        end(1);
    window.showCentred();

    control<QPushButton>(window, "PushButton9")->click(); // the samples
    control<QRadioButton>(window, "Option1")->setChecked(true);
    control<QLineEdit>(window, "Text1")->setText(QDir::toNativeSeparators(destination) + QLatin1Char('/'));
    const std::optional<QString> second = window.rowText(2);
    if (!second) {
        std::fprintf(stderr, "no sample documents in %s\n", qPrintable(programFolder));
        end(1);
    }

    // The picture is taken while the second document is at hand.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QString caption = control<QProgressBar>(window, "ProgressBar1")->text();
        if (caption != QStringLiteral("Processing: ") + QFileInfo(*second).fileName())
            return;
        watch.stop();
        Pause(0.3);
        end(window.grab().save(output) ? 0 : 1);
    });
    watch.start(50);
    QTimer::singleShot(120000, [&] {
        std::fprintf(stderr, "the run did not reach the second document\n");
        end(1);
    });
    QTimer::singleShot(500, [&] { control<QPushButton>(window, "PushButton2")->click(); });
    return app.exec();
}
