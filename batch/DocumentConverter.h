#pragma once

#include "batch/SharedTextFiles.h"
#include "convert/OfficeBridge.h"

// Converts one document to its text file with the office calls of the window's run
// (load into a new frame, its controller and frame, ".uno:SaveAs" with the "Text"
// filter, close), without the run's fixed waits, so that the text is the same byte
// for byte. The save is the run's safe one: the office writes a new file beside
// the target, which replaces it only once whole, and the target rules of
// `textFiles` apply. Refuses a target whose folder does not exist (the office would
// make it). Throws AppError; the document is closed again whatever happened after
// it was loaded.
void ConvertDocument(OfficeBridge &office, const QString &source, const QString &target,
                     SharedTextFiles &textFiles);
