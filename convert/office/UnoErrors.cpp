#include "convert/office/UnoErrors.h"

#include "convert/office/UnoString.h"

#include <cppuhelper/exc_hlp.hxx>

AppError appErrorFromCaughtUnoException(const QString &failure, const css::uno::Exception &error)
{
    // The runtime's own text for a lost connection names a source file of its
    // own and tells the user nothing.
    const QString type = toQString(cppu::getCaughtException().getValueTypeName());
    if (type == QLatin1String("com.sun.star.lang.DisposedException"))
        return AppError(failure + QStringLiteral(": the office has stopped or the connection to it was lost."));

    const QString message = toQString(error.Message).trimmed();
    if (!message.isEmpty())
        return AppError(failure + QStringLiteral(": ") + message);
    return AppError(failure + QStringLiteral(": the office reported %1 without a message.").arg(type));
}
