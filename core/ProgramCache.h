#pragma once

#include <QString>

// The program's own cache folder, <per-user cache>/tarnwick: the private office's
// profile and temporary files live there. Only this user may look in, and folder
// walks never list what is in it.
QString ProgramCacheFolder();

// Makes the cache folder (mode 0700) when it is missing, and keeps it private when
// it is there. Throws AppError when it cannot.
void MakeProgramCacheFolder();
