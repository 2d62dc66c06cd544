#pragma once

#include "core/Dialogs.h"

#include <QString>

// Lets the user pick a folder, opened at startFolder. Returns the chosen folder
// without a trailing separator (except a root such as "/"), or empty text when the
// user cancels or picks something that is not a folder on disk.
QString BrowseForFolder(Dialogs &dialogs, const QString &title, const QString &startFolder);
