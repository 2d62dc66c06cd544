// Walks a folder and drops it on a list, printing what came out, then walks it again
// as the batch does, printing what that walk could not reach. The folder-scan tests
// run it as another user to see what permissions do to a walk.
#include "input/DroppedPaths.h"
#include "input/FolderScan.h"
#include "support/FakeListWindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    ScriptedDialogs dialogs;
    QTextStream out(stdout);

    FolderList folders{folder + QLatin1Char('/')};
    GetSubDirectories2016(folders, true, dialogs);
    for (const QString &entry : folders)
        out << entry << '\n';

    out << "ROWS\n";
    FakeListWindow list;
    list.onAppend = [&](const QString &row) { out << row << '\n'; };
    AddDroppedPaths({folder}, list);
    out << "REPORTS " << dialogs.messages.size() + list.scripted.messages.size() << '\n';

    FolderList told{folder + QLatin1Char('/')};
    GetSubDirectories2016(told, true, dialogs, [&](const UnreachedPath &unreached) {
        out << "UNREACHED " << QFile::decodeName(unreached.path) << ' ' << unreached.error << '\n';
    });
    if (told != folders)
        out << "WALKED OTHERWISE\n";
    return 0;
}
