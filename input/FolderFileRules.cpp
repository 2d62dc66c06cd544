#include "input/FolderFileRules.h"

#include "util/PathHelpers.h"

bool IsLockFileName(const QString &name)
{
    return name.startsWith(QLatin1Char('~'));
}

bool IsHiddenFileName(const QString &name)
{
    return name.startsWith(QLatin1Char('.'));
}

QString FolderFileRow(const QString &folder, const QString &name)
{
    if (IsLockFileName(name))
        return QString();
    if (IsHiddenFileName(name))
        return QString();
    const QString candidate = folder + PathSeparator() + name;
    // Only a path with a doubled separator (below a root folder) needs collapsing.
    const QString doubled(2, PathSeparator());
    return candidate.contains(doubled) ? CollapseBackslashes(candidate) : candidate;
}
