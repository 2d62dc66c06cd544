#include "convert/office/UnoNames.h"

QString unoServiceName(OfficeService service)
{
    switch (service) {
    case OfficeService::Desktop: return QStringLiteral("com.sun.star.frame.Desktop");
    case OfficeService::DispatchHelper: return QStringLiteral("com.sun.star.frame.DispatchHelper");
    }
    return {};
}

QString unoFrameName(FrameTarget target)
{
    switch (target) {
    case FrameTarget::NewFrame: return QStringLiteral("_blank");
    case FrameTarget::SameFrame: return QString();
    }
    return {};
}

QString unoCommandUrl(OfficeCommand command)
{
    switch (command) {
    case OfficeCommand::SaveAs: return QStringLiteral(".uno:SaveAs");
    }
    return {};
}

QString unoArgumentName(SaveArgument argument)
{
    switch (argument) {
    case SaveArgument::Url: return QStringLiteral("URL");
    case SaveArgument::FilterName: return QStringLiteral("FilterName");
    case SaveArgument::Password: return QStringLiteral("Password");
    }
    return {};
}
