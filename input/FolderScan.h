#pragma once

#include "core/Dialogs.h"
#include "input/UnreachedPath.h"

#include <QString>
#include <QStringList>

// Walking folder trees and listing a folder's files.
//
// Listing order is name order with letters compared regardless of case, so a tree
// gives the same rows on every machine. A name that begins with "." is hidden; hidden
// folders are walked, hidden files are the callers' business. A sub-folder that is a
// symbolic link is never entered, so a tree with a link loop still ends.

// Folder paths, each ending in the separator, in the order they were found.
using FolderList = QStringList;

// Extends the list in place: after its own entries come every folder below them, one
// level after the other (all children in name order, then all grandchildren, ...).
// Symbolic links, names that are not valid UTF-8, the desktop Trash and the program's
// cache folder (see WalkExclusions) are left out with everything below them. An
// entry that cannot be listed (no permission, vanished) is removed without a
// message; other failures before the first listing or after the last one are shown
// as an error report and the walk goes on. Lets window events through once per
// folder and once per sub-folder found.
//
// The walk's result is the same with or without `unreached`. When given, it is told
// of every folder left out that may hold something: one whose path is too long to
// enter or whose name is not valid UTF-8 (no error: WalkUnreachedFolder can go on
// below it), and one that could not be listed for another cause than having
// vanished (with the system's words). With `stopped`, the walk ends early once it
// says so, keeping the folders found until then.
void GetSubDirectories2016(FolderList &folders, bool recurse, Dialogs &dialogs, const UnreachedSink &unreached = {},
                           const WalkStopped &stopped = {});

// Names (not paths) of the regular files (also behind a link) in one folder that
// match the wildcard pattern ("*.*" matches every name; "*" and "?" otherwise;
// letters regardless of case), hidden files included, sub-folders, FIFOs, sockets,
// devices and names that are not valid UTF-8 never, in name order. Empty when the folder
// does not exist or cannot be read. Throws AppError when the folder path is not a
// usable path at all (too long, holds a NUL).
//
// With `leftOut`, a matching regular file (or link) that no path the system takes
// can name goes there instead, by its own bytes: a name that is not valid UTF-8
// (a link only when it leads to a regular file), or a whole path of MaxPathBytes or
// more (a link whatever it leads to: it cannot be followed to see). Without it, the
// rules above apply to them.
QStringList ListFolderFiles(const QString &folder, const QString &pattern,
                            const std::function<void(const QByteArray &name)> &leftOut = {});

// True when the path names a regular file, after following links.
bool IsExistingFile(const QString &path);

// Case-insensitive wildcard match of a file name against a pattern.
bool MatchesFilePattern(const QString &name, const QString &pattern);
