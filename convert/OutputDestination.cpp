#include "convert/OutputDestination.h"

#include "core/ErrorReport.h"
#include "core/FolderBrowser.h"
#include "util/PathHelpers.h"

void SaveDestinationOptions(Settings &settings, bool option1, bool option2)
{
    try {
        settings.SaveSetting(QStringLiteral("Option1"), YesNoText(option1));
        settings.SaveSetting(QStringLiteral("Option2"), YesNoText(option2));
    } catch (...) {
    }
}

void SaveDestinationFolder(Settings &settings, const QString &text)
{
    try {
        settings.SaveSetting(QStringLiteral("Text1"), text);
    } catch (...) {
    }
}

std::optional<QString> BrowseDestinationFolder(Dialogs &dialogs, Settings &settings)
{
    StepRunner step(dialogs, FormLocation(QStringLiteral("PushButton4_Click")));
    QString chosen;
    step(100, [&] {
        const QString start = settings.GetSetting(QStringLiteral("LastFolderDot"), QString());
        chosen = BrowseForFolder(dialogs, QStringLiteral("Please select folder:"), start);
    });
    if (chosen.isEmpty()) // 102
        return std::nullopt;
    bool endsWithSeparator = false;
    step(104, [&] {
        settings.SaveSetting(QStringLiteral("LastFolderDot"), chosen);
        endsWithSeparator = chosen.endsWith(PathSeparator());
    });
    std::optional<QString> folderText;
    if (!endsWithSeparator)
        step(106, [&] { folderText = chosen + PathSeparator(); });
    else
        step(108, [&] { folderText = chosen; });
    return folderText;
}
