#pragma once

#include "batch/WorkList.h"

// `--update`: a text file that is a plain file and not older than its document
// (modification times, to the nanosecond, as `cp -u` and make compare them) is up
// to date, and its document need not be converted again. A missing text file, or a
// document that cannot be read for its time, is not.
bool TextFileIsUpToDate(const BatchDocument &document);

// Moves the documents whose text files are up to date out of `documents`, keeping
// the order of both.
QList<BatchDocument> TakeUpToDate(QList<BatchDocument> &documents);
