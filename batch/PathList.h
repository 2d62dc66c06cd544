#pragma once

#include <QStringList>
#include <optional>

// The paths of `--files-from FILE` ("-": standard input), as tar and rsync take
// them: one a line, or each ended by a NUL byte when `nullSeparated`, so that any
// name, one holding a line break included, can be given. Empty entries are passed
// over; nothing else is changed (no trimming: a name may begin or end with a
// space). Throws AppError when the list cannot be read.
QStringList ReadPathList(const QString &file, bool nullSeparated);

// The same from bytes already read.
QStringList SplitPathList(const QByteArray &bytes, bool nullSeparated);
