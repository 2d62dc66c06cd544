#include "convert/TargetName.h"

#include "util/PathHelpers.h"

QString StemOf(const QString &sourcePath)
{
    const QString name = FileNameOf(sourcePath);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) // no dot, or only the leading dot of a hidden name
        return sourcePath + QLatin1Char('.');
    return sourcePath.left(sourcePath.size() - name.size() + dot + 1);
}

namespace {

// Collapses every "//" pair in one left-to-right pass, as the last clean-up of a target.
QString collapseSlashPairs(const QString &path)
{
    QString out;
    out.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        out += path[i];
        if (path[i] == QLatin1Char('/') && i + 1 < path.size() && path[i + 1] == QLatin1Char('/'))
            ++i;
    }
    return out;
}

} // namespace

QString TargetPathOf(const QString &sourcePath, Destination destination, const QString &folderText)
{
    QString stem = StemOf(sourcePath);
    const QChar sep = PathSeparator();
    if (destination == Destination::ChosenFolder)
        stem = CollapseBackslashes(folderText + sep + FileNameOf(stem));
    else if (destination == Destination::SourceFolder && !FolderOf(sourcePath).isEmpty())
        stem = CollapseBackslashes(FolderOf(sourcePath) + sep + FileNameOf(stem));

    QString target = stem;
    target.replace(sep, QLatin1Char('/'));
    target += QStringLiteral("txt");
    return collapseSlashPairs(target);
}
