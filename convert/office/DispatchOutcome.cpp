#include "convert/office/DispatchOutcome.h"

#include "util/AppError.h"

#include <QFileInfo>
#include <QUrl>
#include <optional>
#include <com/sun/star/frame/DispatchResultEvent.hpp>
#include <com/sun/star/frame/DispatchResultState.hpp>

namespace {

std::optional<QString> targetUrlOf(const QList<PropertyValue> &arguments)
{
    for (const PropertyValue &argument : arguments) {
        if (argument.name == u"URL")
            return argument.value;
    }
    return std::nullopt;
}

// ".uno:SaveAs to /tmp/a.txt"
QString describeCommand(const QString &command, const QList<PropertyValue> &arguments)
{
    const auto target = targetUrlOf(arguments);
    if (!target)
        return command;
    const QUrl url(*target);
    return QStringLiteral("%1 to %2").arg(command, url.isLocalFile() ? url.toLocalFile() : *target);
}

} // namespace

void checkDispatchResult(const css::uno::Any &result, const QString &command,
                         const QList<PropertyValue> &arguments)
{
    css::frame::DispatchResultEvent event;
    if (!(result >>= event)) {
        // Empty: no handler for the command in that frame.
        throw AppError(QStringLiteral("The office did not carry out %1.").arg(describeCommand(command, arguments)));
    }
    if (event.State == css::frame::DispatchResultState::FAILURE)
        throw AppError(QStringLiteral("The office refused %1.").arg(describeCommand(command, arguments)));
}

void checkSavedFileExists(const QList<PropertyValue> &arguments)
{
    const auto target = targetUrlOf(arguments);
    if (!target)
        throw AppError(QStringLiteral("The save was given no target: the \"URL\" argument is missing."));

    const QUrl url(*target);
    if (!url.isLocalFile())
        return; // nothing to look at
    const QString path = url.toLocalFile();
    if (!QFileInfo(path).isFile())
        throw AppError(QStringLiteral("The office did not save %1.").arg(path));
}
