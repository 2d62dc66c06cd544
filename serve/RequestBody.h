#pragma once

#include "util/SystemError.h"

#include <QByteArray>
#include <QString>
#include <cerrno>

struct MHD_Connection;
struct MHD_PostProcessor;

// The document of a POST /convert, written as it arrives into a file of the
// request's own private folder: the whole body, or the part "file" of a
// multipart/form-data body. Nothing is kept in memory; a body over the size bound
// is refused as soon as it passes it.
class RequestBody {
public:
    enum class Problem {
        None,
        TooLarge,   // over the size bound
        Empty,      // no bytes of a document
        NoFilePart, // a form without the part "file"
        NotWritten  // the private folder refused it
    };

    // `name`: what the client called the document (a multipart part's file name,
    // or the query's name=...), used only for its last component.
    RequestBody(MHD_Connection *connection, QString folder, qint64 maxBytes, const QByteArray &name);
    ~RequestBody();
    RequestBody(const RequestBody &) = delete;
    RequestBody &operator=(const RequestBody &) = delete;

    // Takes the next piece of the body; false once it is refused.
    bool take(const char *data, size_t size);
    // After the last piece: the problem, if any.
    Problem finish();
    Problem problem() const { return m_problem; }
    QString problemText() const;
    // True when NotWritten for a full disk.
    bool diskFull() const { return IsDiskFull(m_writeErrno); }
    qint64 receivedBytes() const { return m_received; }
    // The document's file, once finish() found no problem.
    const QString &documentPath() const { return m_documentPath; }

private:
    friend struct FormReader;
    // One piece of a form's field; false stops the form.
    bool formPiece(const char *key, const char *filename, const char *data, uint64_t offset, size_t size);
    bool open(const QByteArray &name);
    bool write(const char *data, size_t size);

    QString m_folder;
    qint64 m_maxBytes;
    qint64 m_received = 0;
    qint64 m_written = 0;
    Problem m_problem = Problem::None;
    QString m_writeError;
    int m_writeErrno = 0;
    MHD_PostProcessor *m_form = nullptr;
    bool m_sawFilePart = false;
    bool m_filePartDone = false; // a second part "file" is passed over
    FileDescriptor m_file;
    QString m_documentPath;
    QByteArray m_head; // the document's first bytes
};

// "odt", "ott", "sxw" or "stw" for the first bytes of a Writer package of that
// type; empty for anything else.
QString WriterExtensionOf(const QByteArray &head);

// The last component of a name a client gave, fit to be a file name in a folder of
// ours: no slash, no control character, not hidden, at most 200 bytes; "document"
// when nothing is left of it.
QString DocumentFileName(const QByteArray &given);
