#include "convert/OutputDestination.h"

#include "app/ErrorReport.h"
#include "input/FolderBrowser.h"
#include "util/PathHelpers.h"

#include <QLineEdit>
#include <QRadioButton>

void OptionClick(const DestinationControls &controls, SettingsStore &settings)
{
    // These handlers have no error report of their own; a store that cannot be
    // written must not take the window down with it.
    try {
        settings.SaveSetting(QStringLiteral("Option1"), YesNoText(controls.option1->isChecked()));
        settings.SaveSetting(QStringLiteral("Option2"), YesNoText(controls.option2->isChecked()));
    } catch (...) {
    }
    controls.frame4->setEnabled(controls.option1->isChecked());
}

void Text1Change(const QString &text, SettingsStore &settings)
{
    try {
        settings.SaveSetting(QStringLiteral("Text1"), text);
    } catch (...) {
    }
}

void PushButton4_Click(const DestinationControls &controls, Dialogs &dialogs, SettingsStore &settings)
{
    StepRunner step(dialogs, FormLocation(QStringLiteral("PushButton4_Click")));
    QString chosen;
    step(100, [&] {
        const QString start = settings.GetSetting(QStringLiteral("LastFolderDot"), QString());
        chosen = BrowseForFolder(dialogs, QStringLiteral("Please select folder:"), start);
    });
    if (chosen.isEmpty()) // 102
        return;
    bool endsWithSeparator = false;
    step(104, [&] {
        settings.SaveSetting(QStringLiteral("LastFolderDot"), chosen);
        endsWithSeparator = chosen.endsWith(PathSeparator());
    });
    if (!endsWithSeparator)
        step(106, [&] { controls.text1->setText(chosen + PathSeparator()); });
    else
        step(108, [&] { controls.text1->setText(chosen); });
}
