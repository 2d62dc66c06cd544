#pragma once

#include "batch/SharedTextFiles.h"
#include "convert/OfficeBridge.h"

// Converts one document to its text file, writing the text the window's run writes
// for it, byte for byte, in less time. The window loads into a frame, which the
// office lays out page by page before it saves: most of the time a long document
// takes. Here the document is first loaded without a view, which the office does
// not lay out. Text that the layout or the view could change comes only from what
// the office works out (fields: page numbers, references, dates formatted anew;
// sections shown on a condition), so a document with none of it is stored as it
// is. One with some is shown in a new frame, laid out, and saved with the window's
// own command (".uno:SaveAs" with the "Text" filter), without the run's fixed
// waits. A template is loaded as the window loads it, as a new document made from
// it, so that its fields show the same document data.
//
// The save is the run's safe one: the office writes a new file beside the target,
// which replaces it only once whole, and the target rules of `textFiles` apply.
// Refuses a target whose folder does not exist (the office would make it), or that
// TargetFolder refuses. Throws AppError; a document is closed again whatever
// happened after it was loaded.
//
// The office detects the document's type before the load. A file it reads as
// another type than a Writer document (plain text named .odt) is converted all the
// same, and that type is returned, for the user to be told; an empty file (no byte
// at all) gives an empty text file, and EmptyFileType. A Writer document gives "".
QString ConvertDocument(OfficeBridge &office, const QString &source, const QString &target,
                        SharedTextFiles &textFiles);

// What ConvertDocument names a file without a byte as.
inline QString EmptyFileType()
{
    return QStringLiteral("empty");
}
