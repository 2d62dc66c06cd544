#pragma once

#include "input/UnreachedPath.h"

#include <QByteArrayView>
#include <functional>

// Walks on below a folder that GetSubDirectories2016 could not enter by its path (one
// too long for the system, or not valid UTF-8), to name what it holds. Each folder is
// opened from its parent's descriptor, so no path has to fit; one descriptor is open
// at a time, and the walk climbs back through ".." after checking that it is the
// folder it came from, so a tree of any depth takes neither more descriptors nor
// more time per folder.
//
// Its rules are the folder walk's: symbolic links to folders and the volumes' Trash
// folders are not entered, and a folder met twice (a mount inside itself) is walked
// once. Tells `unreached` of every regular file (also behind a link) whose name
// `wanted` takes, and of every folder that could not be opened or listed (with the
// system's words), a folder's files before its sub-folders, each in name order. A
// folder that vanished is passed over. With `stopped`, the walk ends early once it
// says so.
void WalkUnreachedFolder(const QByteArray &folder, const std::function<bool(QByteArrayView name)> &wanted,
                         const UnreachedSink &unreached, const WalkStopped &stopped = {});
