#pragma once

#include <QString>

// The program's own cache folder, <per-user cache>/tarnwick: the private office's
// profile and temporary files live there. Only this user may look in, and folder
// walks never list what is in it.
QString ProgramCacheFolder();

// Makes the cache folder (mode 0700, and the per-user cache above it when that is
// missing too) and checks that it is private. Throws AppError when it cannot be
// made, RefusalError when it is not private.
void MakeProgramCacheFolder();
