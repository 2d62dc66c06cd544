#pragma once

#include "batch/WorkList.h"

// Makes the folders below `outDir` that the text files of `work` go into (a mirrored
// tree), walking down from `outDir` one level at a time, as mkdir makes them: the
// user's umask decides their permissions. Nothing is ever written through a link nor
// into another user's folder: a document whose text file would go into a folder there
// that TargetFolder refuses, or that could not be made, moves from `work.documents`
// to `work.failed` with the reason. Each save opens and checks its folder again.
void MakeMirroredFolders(WorkList &work, const QString &outDir);
