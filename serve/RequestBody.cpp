#include "serve/RequestBody.h"

#include "util/WriteAll.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <microhttpd.h>

namespace {

constexpr size_t kFormBuffer = 64 * 1024;
constexpr qsizetype kLongestName = 200;

} // namespace

struct FormReader {
    static MHD_Result piece(void *body, MHD_ValueKind, const char *key, const char *filename, const char *,
                            const char *, const char *data, uint64_t offset, size_t size)
    {
        return static_cast<RequestBody *>(body)->formPiece(key, filename, data, offset, size) ? MHD_YES : MHD_NO;
    }
};

QString DocumentFileName(const QByteArray &given)
{
    QByteArray name = given.mid(std::max(given.lastIndexOf('/'), given.lastIndexOf('\\')) + 1);
    name.removeIf([](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
    while (name.startsWith('.'))
        name.remove(0, 1);
    if (name.size() > kLongestName)
        name = name.right(kLongestName); // the end keeps the extension
    const QString decoded = QString::fromUtf8(name);
    return decoded.isEmpty() ? QStringLiteral("document") : decoded;
}

RequestBody::RequestBody(MHD_Connection *connection, QString folder, qint64 maxBytes, const QByteArray &name)
    : m_folder(std::move(folder)), m_maxBytes(maxBytes)
{
    const char *type = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_TYPE);
    if (type && QByteArray(type).trimmed().toLower().startsWith("multipart/form-data"))
        m_form = MHD_create_post_processor(connection, kFormBuffer, FormReader::piece, this);
    else
        open(name);
}

RequestBody::~RequestBody()
{
    if (m_form)
        MHD_destroy_post_processor(m_form);
}

bool RequestBody::take(const char *data, size_t size)
{
    if (m_problem != Problem::None)
        return false;
    m_received += qint64(size);
    if (m_received > m_maxBytes) {
        m_problem = Problem::TooLarge;
        return false;
    }
    if (m_form) {
        if (MHD_post_process(m_form, data, size) != MHD_YES && m_problem == Problem::None)
            m_problem = Problem::NoFilePart; // a form MHD could not read
        return m_problem == Problem::None;
    }
    return write(data, size);
}

RequestBody::Problem RequestBody::finish()
{
    if (m_problem != Problem::None)
        return m_problem;
    if (m_form && !m_sawFilePart)
        m_problem = Problem::NoFilePart;
    else if (m_written == 0)
        m_problem = Problem::Empty;
    m_file.reset();
    return m_problem;
}

QString RequestBody::problemText() const
{
    switch (m_problem) {
    case Problem::None: return {};
    case Problem::TooLarge:
        return QStringLiteral("The body is larger than this service takes (%1 bytes).").arg(m_maxBytes);
    case Problem::Empty: return QStringLiteral("The request holds no document: its body is empty.");
    case Problem::NoFilePart: return QStringLiteral("The form has no part named \"file\" holding the document.");
    case Problem::NotWritten: return QStringLiteral("The document could not be stored: %1.").arg(m_writeError);
    }
    return {};
}

bool RequestBody::formPiece(const char *key, const char *filename, const char *data, uint64_t offset, size_t size)
{
    if (!key || std::strcmp(key, "file") != 0 || m_filePartDone)
        return true; // other fields are passed over
    if (offset == 0 && m_sawFilePart) {
        m_filePartDone = true; // a second part named "file": the first one counts
        return true;
    }
    if (!m_sawFilePart) {
        m_sawFilePart = true;
        if (!open(filename ? QByteArray(filename) : QByteArray()))
            return false;
    }
    return write(data, size);
}

bool RequestBody::open(const QByteArray &name)
{
    // The document sits in a folder of its own, beside which the text file goes.
    const QString folder = QDir(m_folder).filePath(QStringLiteral("document"));
    const QString path = QDir(folder).filePath(DocumentFileName(name));
    if (!QDir().mkdir(folder)) {
        m_writeError = QStringLiteral("its folder could not be made");
    } else {
        m_file.reset(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (m_file.get() >= 0) {
            m_documentPath = path;
            return true;
        }
        m_writeError = SystemErrorText(errno);
    }
    m_problem = Problem::NotWritten;
    return false;
}

bool RequestBody::write(const char *data, size_t size)
{
    if (m_file.get() < 0)
        return false;
    if (!WriteAll(m_file.get(), data, size)) {
        m_writeError = SystemErrorText(errno);
        m_problem = Problem::NotWritten;
        return false;
    }
    m_written += qint64(size);
    return true;
}
