#include "convert/office/DispatchOutcome.h"

#include "convert/office/UnoNames.h"
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
        if (argument.name == SaveArgument::Url)
            return argument.value;
    }
    return std::nullopt;
}

// ".uno:SaveAs to /tmp/a.txt"
QString describeCommand(OfficeCommand command, const QList<PropertyValue> &arguments)
{
    const auto target = targetUrlOf(arguments);
    if (!target)
        return unoCommandUrl(command);
    const QUrl url(*target);
    return QStringLiteral("%1 to %2").arg(unoCommandUrl(command), url.isLocalFile() ? url.toLocalFile() : *target);
}

} // namespace

void checkDispatchResult(const css::uno::Any &result, OfficeCommand command,
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

void checkEmptySaveDone(const css::uno::Any &result, const QList<PropertyValue> &arguments)
{
    css::frame::DispatchResultEvent event;
    if ((result >>= event) && event.State == css::frame::DispatchResultState::SUCCESS)
        return;
    const QUrl url(saveTargetOf(arguments));
    throw AppError(
        QStringLiteral("The office did not save %1.").arg(url.isLocalFile() ? url.toLocalFile() : url.toString()));
}

QString saveTargetOf(const QList<PropertyValue> &arguments)
{
    const auto target = targetUrlOf(arguments);
    if (!target)
        throw AppError(QStringLiteral("The save was given no target: the \"URL\" argument is missing."));
    return *target;
}

void checkSavedFileExists(const QList<PropertyValue> &arguments)
{
    const QUrl url(saveTargetOf(arguments));
    if (!url.isLocalFile())
        return; // nothing to look at
    const QString path = url.toLocalFile();
    if (!QFileInfo(path).isFile())
        throw AppError(QStringLiteral("The office did not save %1.").arg(path));
}
