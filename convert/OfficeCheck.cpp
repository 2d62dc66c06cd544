#include "convert/OfficeCheck.h"

#include "core/ProductConfig.h"
#include "util/AppError.h"

#include <cstdio>
#include <exception>

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

namespace {

// The message box cannot say why; a user who started the program from a shell, and
// the desktop's log, get the reason.
void printReason(const QString &reason)
{
    std::fputs(("tarnwick: the office cannot be reached: " + reason + "\n").toLocal8Bit().constData(), stderr);
}

} // namespace

bool CheckOfficeSuite(OfficeBridge &office, Dialogs &dialogs, const QString &applicationTitle)
{
    try {
        if (office.createServiceManager())
            return true;
        printReason(QStringLiteral("the office gave no service manager."));
    } catch (const RefusalError &refusal) {
        // The office is there but would be within others' reach: say why and what
        // to do rather than send the user to download it.
        printReason(refusal.description());
        dialogs.message(refusal.description(), applicationTitle, Dialogs::Buttons::Ok, Dialogs::Icon::Critical);
        return false;
    } catch (const AppError &error) {
        printReason(error.description());
    } catch (const std::exception &error) {
        printReason(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        printReason(QStringLiteral("the office's start failed without saying why."));
    }
    const Dialogs::Answer answer = dialogs.message(OfficeMissingText(), applicationTitle,
                                                   Dialogs::Buttons::YesNo, Dialogs::Icon::None);
    if (answer == Dialogs::Answer::Yes)
        dialogs.openUrl(QLatin1String(ProductConfig::OfficeDownloadPage));
    return false;
}
