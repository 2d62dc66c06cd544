#pragma once

#include "core/Dialogs.h"
#include "core/Settings.h"

#include <optional>

// Where the results go, as kept in the settings: "Save results to this folder:"
// (`Option1`) with the folder `Text1`, or "Save results in folder of original file"
// (`Option2`). Every change is written to the settings at once.

// Either option became chosen: store both. These changes have no error report of
// their own; a store that cannot be written is passed over.
void SaveDestinationOptions(Settings &settings, bool option1, bool option2);

// The folder text changed (typing, browsing or start-up): store it.
void SaveDestinationFolder(Settings &settings, const QString &text);

// "...": browse for the folder, starting where the last browse ended. Returns the
// text for the folder box (always ending in a separator), or nothing when the user
// cancelled. Failing steps are shown as error reports.
std::optional<QString> BrowseDestinationFolder(Dialogs &dialogs, Settings &settings);
