#pragma once

#include <QString>

// The files that are being written right now and are not whole yet. Closing the
// window ends the program without running destructors, so the objects that would
// remove such files never get to; the close removes them through this list instead.
// Every function may be called from any thread.

// Adds a file that exists and is not yet whole.
void RegisterPartialFile(const QString &path);

// Takes a file off the list (it became whole, or its owner removed it).
void ForgetPartialFile(const QString &path);

// Removes every listed file by its name (a writer that still has one open may go on
// writing into the removed file) and empties the list.
void RemovePartialFiles();
