#include "app/PointerPictures.h"

#include "util/AppError.h"
#include "util/PathHelpers.h"

#include <QPixmap>

std::optional<QCursor> LoadHandPointer(const QString &programFolder)
{
    const QString file = programFolder + QStringLiteral("HAND-M.CUR");
    if (!FileExists(file))
        return std::nullopt;
    const QPixmap picture(file, "cur");
    if (picture.isNull())
        throw AppError(QStringLiteral("The pointer picture %1 cannot be read.").arg(file));
    // Our hand points with the tip of its index finger.
    return QCursor(picture, picture.width() * 10 / 32, picture.height() / 32);
}

QCursor LoadDragPointer(const QString &programFolder)
{
    const QPixmap picture(programFolder + QStringLiteral("drag.ico"), "ico");
    if (picture.isNull())
        return QCursor(Qt::DragMoveCursor);
    return QCursor(picture);
}
