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
    // Opens FILE ("-": standard output) for the report; throws AppError.
    //
    // The report never goes through a symbolic link, and never replaces anything
    // but a plain file of this user's own with no other name (hard link): in a
    // shared folder another user may have put anything under that name. A FIFO of
    // this user's own is written into. Opening a FIFO waits for its reader, and
    // writing to a reader that does not read waits for it, both only until `stop`
    // (StopSignals::descriptor()) is readable.
    JsonLinesReport(const QString &file, int stop);

    // status: "converted", "failed", "skipped" or "up-to-date"; an empty target or
    // reason is left out; bytes is the text file's size. `readAs` is the type a
    // converted file that is no Writer document was read as ("read-as"), else empty.
    void document(QByteArrayView source, const QString &target, const QString &status, const QString &reason,
                  double seconds, qint64 bytes, const QString &readAs = {});
    // The last line; the report is then on the disk (or it is not complete).
    void summary(const QJsonObject &summary);

    // Why a line could not be written (the report is then not whole); empty
    // while every line was.
    const QString &failure() const { return m_failure; }
    const QString &name() const { return m_name; }

private:
    void write(const QJsonObject &object);
    void fail(int error);

    FileDescriptor m_file; // the report file; none for stdout
    int m_fd = -1;         // where lines go: the file, stdout, or nowhere after a failure
    int m_stop = -1;
    QString m_name;
    QString m_failure;
};
