#include "convert/OfficeBridge.h"

#include <QFileInfo>
#include <QUrl>

// Fully encoded, so "#", "?", "%" and "%20" in a name stay part of the path
// instead of turning into a fragment, a query or an escape.
QString FileUrlOf(const QString &path)
{
    if (path.isEmpty())
        return {};
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
}
