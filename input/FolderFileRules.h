#pragma once

#include <QString>

// What becomes of one file found while adding a folder's files: office lock files
// ("~" names) and hidden files are left out. `name` comes from ListFolderFiles, which
// has just made sure it is an existing file; asking the disk again per file would
// double the cost of adding a large tree. Returns the row to append (separators
// collapsed), or empty text when the file is left out. `folder` has no trailing
// separator.
QString FolderFileRow(const QString &folder, const QString &name);

// A name that begins with "~": the lock and backup files an office suite leaves.
bool IsLockFileName(const QString &name);

// A name that begins with ".": the platform's hidden files.
bool IsHiddenFileName(const QString &name);
