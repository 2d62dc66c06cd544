#include "convert/OfficeCheck.h"

#include "core/ProductConfig.h"
#include "util/AppError.h"

QString OfficeMissingText()
{
    return QStringLiteral("Error 214878392\r\n\r\n"
                          "OpenOffice is required to run this software. It is not installed on this computer.\r\r"
                          "Woud you like to open this site now?\r\n\r\n"
                          "(If you think this error is a mistake and you have OpenOffice installed, please "
                          "email a screenshot of this error message and a screenshot of the OpenOffice "
                          "'About' window to ")
           + QLatin1String(ProductConfig::SupportEmail) + QLatin1Char(')');
}

bool CheckOfficeSuite(OfficeBridge &office, Dialogs &dialogs, const QString &applicationTitle)
{
    try {
        if (office.createServiceManager())
            return true;
    } catch (const RefusalError &refusal) {
        // The office is there but would be within others' reach: say why and what
        // to do rather than send the user to download it.
        dialogs.message(refusal.description(), applicationTitle, Dialogs::Buttons::Ok, Dialogs::Icon::Critical);
        return false;
    } catch (...) {
        // not reachable: fall through to the message
    }
    const Dialogs::Answer answer = dialogs.message(OfficeMissingText(), applicationTitle,
                                                   Dialogs::Buttons::YesNo, Dialogs::Icon::None);
    if (answer == Dialogs::Answer::Yes)
        dialogs.openUrl(QLatin1String(ProductConfig::OfficeDownloadPage));
    return false;
}
