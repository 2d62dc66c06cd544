#pragma once

#include "input/ListWindow.h"

#include <QString>
#include <QStringList>

class QMimeData;

// True when dragged data is a list of local files and folders (what a file manager
// offers). Text, pictures and links to anything but local files are refused.
bool CarriesFileList(const QMimeData *data);

// The dropped paths in the drag source's order; empty unless CarriesFileList.
QStringList DroppedLocalPaths(const QMimeData *data);

// Adds dropped paths to the list. A file is appended unchanged. A folder is walked
// with all folders below it and every file in them is appended ("~" and hidden files
// left out), the folder's own files first. A path that cannot be examined is skipped
// and the drop goes on; nothing is reported and nothing escapes. The folder walk may
// show its own error report through the window's dialogs. Never touches the busy pointer.
void AddDroppedPaths(const QStringList &paths, ListWindow &window);
