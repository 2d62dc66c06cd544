#pragma once

#include <QString>

// The program's own folders (its cache, the office's profiles and temporary files):
// made for this user alone whatever the umask, and checked before every use, so
// that nobody else can look in, put something there, or swap a folder for a link
// that sends the program's removals into another folder.

// Makes the folder when it is missing, and each missing folder above it, mode 0700;
// then checks it as CheckPrivateFolder does. Throws AppError when it cannot be
// made, RefusalError when it is there but not private.
void MakePrivateFolder(const QString &path);

// Throws RefusalError, saying what the user can do, unless the path is a folder
// (not a link to one) owned by this user that nobody else may write in.
void CheckPrivateFolder(const QString &path);

// Removes everything in a private folder (checked first). Links are removed, never
// followed: nothing outside the folder is touched, even when its content changes
// meanwhile. Throws AppError naming what could not be removed.
void EmptyPrivateFolder(const QString &path);

// Empties the folder and removes it; nothing when it is missing.
void RemovePrivateFolder(const QString &path);
