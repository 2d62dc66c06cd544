#pragma once

#include <QByteArray>
#include <QList>

// The paths of `--files-from FILE` ("-": standard input), as tar and rsync take
// them: one a line, or each ended by a NUL byte when `nullSeparated`, so that any
// name, one holding a line break included, can be given. Empty entries are passed
// over; nothing else is changed (no trimming: a name may begin or end with a
// space), and the names are kept as the system spells them. A list that is slow to
// come (a pipe, a FIFO whose writer has not opened it) is waited for only until
// `stop` (StopSignals::descriptor()) is readable. Throws AppError when the list
// cannot be read or the wait was stopped.
QList<QByteArray> ReadPathList(const QString &file, bool nullSeparated, int stop);

// The same from bytes already read.
QList<QByteArray> SplitPathList(const QByteArray &bytes, bool nullSeparated);
