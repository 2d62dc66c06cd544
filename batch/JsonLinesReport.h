#pragma once

#include "util/SystemError.h"

#include <QByteArrayView>
#include <QJsonObject>
#include <QString>

// `--report FILE`: one JSON object a line for each document as it finishes, and a
// last {"summary": {...}} line, each written whole with one write and flushed, so
// that a run stopped at any point leaves only whole lines behind.
//
// Names are carried exactly. A path that is not valid UTF-8 cannot be (JSON
// strings are Unicode): it is written as the failure lines print it, escaped as
// `ls -b` does (printf '%b' gives back its bytes), and the object says so with
// "escaped": true.
//
// Not thread-safe: BatchReport calls it under its lock.
class JsonLinesReport {
public:
    // Creates or empties FILE; "-" is standard output. Throws AppError.
    explicit JsonLinesReport(const QString &file);

    // status: "converted", "failed", "skipped" or "up-to-date"; an empty target or
    // reason is left out; bytes is the text file's size.
    void document(QByteArrayView source, const QString &target, const QString &status, const QString &reason,
                  double seconds, qint64 bytes);
    void summary(const QJsonObject &summary);

private:
    void write(const QJsonObject &object);

    FileDescriptor m_file; // the report file; none for stdout
    int m_fd = -1;         // where lines go: the file, stdout, or nowhere after a failure
    QString m_name;
};
