#include "core/FolderBrowser.h"

#include "util/PathHelpers.h"

#include <QDir>

QString BrowseForFolder(Dialogs &dialogs, const QString &title, const QString &startFolder)
{
    const QString start = IsFolder(startFolder) ? startFolder : QString();
    QString chosen = dialogs.browseFolder(title, start);
    if (chosen.isEmpty())
        return QString();
    chosen = QDir::toNativeSeparators(chosen);
    if (!IsFolder(chosen))
        return QString();
    while (chosen.size() > 1 && chosen.endsWith(PathSeparator())) {
#ifdef Q_OS_WIN
        if (chosen.size() == 3 && chosen[1] == QLatin1Char(':'))
            break; // a drive root keeps its separator
#endif
        chosen.chop(1);
    }
    return chosen;
}
