#include "input/WholeFolderAdd.h"

#include "core/ErrorReport.h"
#include "core/Settings.h"
#include "core/FolderBrowser.h"
#include "input/FolderFileRules.h"
#include "input/FolderScan.h"
#include "util/PathHelpers.h"

#include <optional>

QString ExtensionPrompt()
{
    return QStringLiteral("Enter file extension to load:\r\r"
                          "(* for all files, txt for all txt files, doc for all doc files, etc.)");
}

void AddAllFilesInFolder(ListWindow &window)
{
    StepRunner step(window.dialogs(), FormLocation(QStringLiteral("PushButton6_Click")));
    const QString extensionKey = QStringLiteral("Extension");
    const QString lastFolderKey = QStringLiteral("LastFolder");

    // The answer is used as typed: "*" makes "*.*", everything else "*." + answer.
    QString extension;
    step(100, [&] {
        const QString offered = window.settings().GetSetting(extensionKey, QStringLiteral("odt"));
        extension = window.dialogs().inputText(ExtensionPrompt(), window.applicationTitle(), offered)
                        .value_or(QString());
        if (!extension.isEmpty())
            window.settings().SaveSetting(extensionKey, extension);
    });
    if (extension.isEmpty()) // 102
        return;

    QString lastFolder;
    QString chosen;
    step(104, [&] {
        lastFolder = window.settings().GetSetting(lastFolderKey, QString());
        chosen = BrowseForFolder(window.dialogs(), QStringLiteral("Please select folder:"), lastFolder);
    });
    if (chosen.isEmpty()) // 106
        return;
    step(333, [&] { lastFolder = chosen; });
    step(334, [&] { window.settings().SaveSetting(lastFolderKey, lastFolder); });

    step(112, [&] { window.setBusy(true); });

    FolderList folders;
    step(114, [&] { folders = FolderList{chosen + PathSeparator()}; });
    step(116, [&] { GetSubDirectories2016(folders, true, window.dialogs()); });

    const QString pattern = QStringLiteral("*.") + extension;
    for (const QString &entry : folders) { // 118
        const QString folder = entry.chopped(1); // 120
        // A failed listing leaves no names, not the previous folder's.
        QStringList names;
        step(122, [&] { names = ListFolderFiles(folder, pattern); });
        for (const QString &name : names) { // 124 .. 134
            step(132, [&] {
                const QString row = FolderFileRow(folder, name);
                if (!row.isEmpty())
                    window.appendRow(row);
            });
        }
    }

    step(136, [&] { window.setBusy(false); });
}
