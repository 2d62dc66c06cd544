#pragma once

#include "batch/WorkList.h"

// Makes the folders below `outDir` that the text files of `work` go into (a mirrored
// tree), one level at a time, as mkdir makes them: the user's umask decides their
// permissions. Nothing is ever written through a link: a document whose text file
// would go into a folder there that is a symbolic link, or no folder, or one that
// could not be made, moves from `work.documents` to `work.failed` with the reason.
void MakeTargetFolders(WorkList &work, const QString &outDir);
