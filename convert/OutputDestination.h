#pragma once

#include "app/Dialogs.h"
#include "app/SettingsStore.h"

class QLineEdit;
class QRadioButton;
class QWidget;

// The destination controls of the main window: the two options, the folder box and
// its frame. Every change is written to the settings at once.
struct DestinationControls {
    QRadioButton *option1;  // "Save results to this folder:"
    QRadioButton *option2;  // "Save results in folder of original file"
    QWidget *frame4;        // holds the folder box and "..."
    QLineEdit *text1;       // the folder
};

// Either option became chosen: store both options, enable the folder frame exactly
// when the first is chosen.
void OptionClick(const DestinationControls &controls, SettingsStore &settings);

// The folder text changed (typing, browsing or start-up): store it.
void Text1Change(const QString &text, SettingsStore &settings);

// "...": browse for the folder, starting where the last browse ended.
void PushButton4_Click(const DestinationControls &controls, Dialogs &dialogs, SettingsStore &settings);
