// Adds a generated tree of about 100,000 files in 10,000 folders the way "Add All
// Writer File(s) In Folder" does, times it against `find -type f` on the same tree,
// and times how long a list widget takes to show 100,000 rows.
//
//   bench_folder_add [folder]
//
// Without a folder the tree is made in a temporary folder and removed at the end.
// With one, the tree is kept in folder/tree and reused by later runs.

#include "app/SettingsStore.h"
#include "input/FolderScan.h"
#include "input/WholeFolderAdd.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int TopFolders = 100;
constexpr int FoldersEach = 99;  // 100 + 100 * 99 = 10,000 folders
constexpr int FilesPerFolder = 10;

// Answers the two questions of the command and shows nothing.
class AnsweringDialogs : public Dialogs {
public:
    AnsweringDialogs(QString extension, QString folder) : m_extension(std::move(extension)), m_folder(std::move(folder)) {}
    Answer message(const QString &text, const QString &, Buttons, Icon) override
    {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
        return Answer::Ok;
    }
    QStringList openFiles(const QString &, const QStringList &) override { return {}; }
    QString browseFolder(const QString &, const QString &) override { return m_folder; }
    std::optional<QString> inputText(const QString &, const QString &, const QString &) override { return m_extension; }
    void openUrl(const QString &) override {}
    void openFolder(const QString &) override {}

private:
    QString m_extension;
    QString m_folder;
};

void touch(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd >= 0)
        ::close(fd);
}

int makeFiles(const QByteArray &folder)
{
    static const char *const names[FilesPerFolder] = {"report.odt", "Letter.ODT", "draft.ott", "old.sxw",
                                                      "form.stw", "~lock.odt", ".hidden.odt", "notes.txt",
                                                      "Budget 2024.odt", "readme"};
    for (const char *name : names)
        touch(folder + '/' + name);
    return FilesPerFolder;
}

int makeTree(const QByteArray &root)
{
    int files = 0;
    ::mkdir(root.constData(), 0755);
    for (int t = 0; t < TopFolders; ++t) {
        const QByteArray top = root + "/top" + QByteArray::number(t);
        ::mkdir(top.constData(), 0755);
        files += makeFiles(top);
        for (int s = 0; s < FoldersEach; ++s) {
            const QByteArray sub = top + "/folder " + QByteArray::number(s);
            ::mkdir(sub.constData(), 0755);
            files += makeFiles(sub);
        }
    }
    return files;
}

struct Timed {
    double seconds;
    qsizetype count;
};

template <typename Work>
Timed bestOf(int runs, Work work)
{
    Timed best{1e9, 0};
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        const qsizetype count = work();
        const double seconds = clock.nsecsElapsed() / 1e9;
        if (seconds < best.seconds)
            best = {seconds, count};
    }
    return best;
}

Timed timeFind(const QString &root)
{
    return bestOf(3, [&] {
        QProcess find;
        find.start("find", {root, "-type", "f"});
        find.waitForFinished(-1);
        return find.readAllStandardOutput().count('\n');
    });
}

// A list that only counts what is appended to it.
class CountingList : public ListWindow {
public:
    CountingList(Dialogs &dialogs, Settings &settings) : m_dialogs(dialogs), m_settings(settings) {}
    qsizetype rowCount = 0;

    Dialogs &dialogs() override { return m_dialogs; }
    Settings &settings() override { return m_settings; }
    QString applicationTitle() const override { return QStringLiteral("Tarnwick"); }
    void appendRow(const QString &) override { ++rowCount; }
    QStringList rows() const override { return {}; }
    void setBusy(bool) override {}

private:
    Dialogs &m_dialogs;
    Settings &m_settings;
};

Timed timeWholeFolderAdd(const QString &root, const QString &extension, SettingsStore &settings)
{
    return bestOf(3, [&] {
        AnsweringDialogs dialogs(extension, root);
        CountingList window(dialogs, settings);
        AddAllFilesInFolder(window);
        return window.rowCount;
    });
}

template <typename List, typename Add>
double timeRows(const QStringList &rows, Add add)
{
    List list;
    list.resize(900, 600);
    list.show();
    QApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    for (const QString &row : rows)
        add(list, row);
    QApplication::processEvents();
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir temporary(QDir::tempPath() + "/bench-folder-add-XXXXXX");
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    const QString root = work + "/tree";
    if (QFileInfo(root).isDir()) {
        std::printf("tree: reusing %s\n", qPrintable(root));
    } else {
        QElapsedTimer clock;
        clock.start();
        const int files = makeTree(QFile::encodeName(root));
        std::printf("tree: %d files in %d folders, made in %.2f s\n", files, TopFolders * (1 + FoldersEach),
                    clock.nsecsElapsed() / 1e9);
    }

    SettingsStore settings(temporary.path() + "/settings.ini");
    const Timed find = timeFind(root);
    const Timed all = timeWholeFolderAdd(root, "*", settings);
    const Timed odt = timeWholeFolderAdd(root, "odt", settings);
    const Timed walkOnly = bestOf(3, [&] {
        AnsweringDialogs dialogs("", root);
        FolderList folders{root + "/"};
        GetSubDirectories2016(folders, true, dialogs);
        return folders.size();
    });

    std::printf("find -type f:                 %7.3f s  %lld files\n", find.seconds, (long long)find.count);
    std::printf("whole-folder add, \"*\":        %7.3f s  %lld rows   ratio to find %.2f\n", all.seconds,
                (long long)all.count, all.seconds / find.seconds);
    std::printf("whole-folder add, \"odt\":      %7.3f s  %lld rows   ratio to find %.2f\n", odt.seconds,
                (long long)odt.count, odt.seconds / find.seconds);
    std::printf("folder walk alone:            %7.3f s  %lld folders\n", walkOnly.seconds, (long long)walkOnly.count);

    QStringList rows;
    rows.reserve(100000);
    for (int i = 0; i < 100000; ++i)
        rows << root + QString("/top%1/folder %2/report.odt").arg(i / 1000).arg(i % 1000);
    const double tree = timeRows<QTreeWidget>(rows, [](QTreeWidget &list, const QString &row) {
        list.addTopLevelItem(new QTreeWidgetItem(QStringList{row}));
    });
    const double plain = timeRows<QListWidget>(rows, [](QListWidget &list, const QString &row) {
        list.addItem(row);
    });
    std::printf("QTreeWidget, 100000 rows one by one then shown: %7.3f s\n", tree);
    std::printf("QListWidget, 100000 rows one by one then shown: %7.3f s\n", plain);
    return 0;
}
