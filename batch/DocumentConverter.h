#pragma once

#include "batch/SharedTextFiles.h"
#include "convert/OfficeBridge.h"

// Converts one document to its text file, writing the text the window's run writes
// for it, byte for byte, in less time. The window loads into a visible frame, which
// the office lays out page by page before it saves: most of the time a long
// document takes. A document without text fields has no text that depends on that
// layout or on the view (page numbers, references, dates formatted anew), so it is
// loaded hidden and stored. A document with fields is closed again and converted
// with the window's own calls (a new frame, ".uno:SaveAs" with the "Text" filter),
// without the run's fixed waits.
//
// The save is the run's safe one: the office writes a new file beside the target,
// which replaces it only once whole, and the target rules of `textFiles` apply.
// Refuses a target whose folder does not exist (the office would make it). Throws
// AppError; a document is closed again whatever happened after it was loaded.
void ConvertDocument(OfficeBridge &office, const QString &source, const QString &target,
                     SharedTextFiles &textFiles);
