#pragma once

#include "input/ListWindow.h"

// "Add All Writer File(s) In Folder": asks for an extension and a folder, then
// appends every file of that extension in the folder and all folders below it, the
// folder's own files first, then level by level. Remembers `Extension` and
// `LastFolder`. The busy pointer shows while the folder is walked and listed.
// Failing steps are shown as error reports and the command goes on.
void AddAllFilesInFolder(ListWindow &window);

// The prompt of the extension box.
QString ExtensionPrompt();
