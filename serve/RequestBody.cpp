#include "serve/RequestBody.h"

#include "util/WriteAll.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <microhttpd.h>
#include <sys/stat.h>

namespace {

constexpr size_t kFormBuffer = 64 * 1024;
constexpr qsizetype kLongestName = 200;
constexpr qsizetype kHeadBytes = 160; // enough for a package's "mimetype" entry

} // namespace

struct FormReader {
    static MHD_Result piece(void *body, MHD_ValueKind, const char *key, const char *filename, const char *,
                            const char *, const char *data, uint64_t offset, size_t size)
    {
        return static_cast<RequestBody *>(body)->formPiece(key, filename, data, offset, size) ? MHD_YES : MHD_NO;
    }
};

QString WriterExtensionOf(const QByteArray &head)
{
    // A Writer package's first entry is "mimetype", stored: its bytes follow the
    // entry's 30-byte header, its name and its extra field.
    if (!head.startsWith("PK\x03\x04") || head.mid(30, 8) != "mimetype")
        return {};
    const auto field = [&](int at) { return int(uchar(head[at])) | int(uchar(head[at + 1])) << 8; };
    const QByteArray type = head.mid(30 + field(26) + field(28), field(22));
    static const std::pair<const char *, const char *> kTypes[] = {
        {"application/vnd.oasis.opendocument.text", "odt"},
        {"application/vnd.oasis.opendocument.text-template", "ott"},
        {"application/vnd.sun.xml.writer", "sxw"},
        {"application/vnd.sun.xml.writer.template", "stw"}};
    for (const auto &[mime, extension] : kTypes)
        if (type == mime)
            return QString::fromLatin1(extension);
    return {};
}

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
    // A document without a name (or one without an extension) is named after its
    // type, as a user's file would be: the office recognises it at once, instead of
    // trying one kind of file after another.
    const QString extension = WriterExtensionOf(m_head);
    if (m_problem == Problem::None && !extension.isEmpty() && !QFileInfo(m_documentPath).fileName().contains('.')
        && QFile::rename(m_documentPath, m_documentPath + '.' + extension))
        m_documentPath += '.' + extension;
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
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0) {
        m_writeErrno = errno;
        m_writeError = QStringLiteral("its folder could not be made");
    } else {
        m_file.reset(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (m_file.get() >= 0) {
            m_documentPath = path;
            return true;
        }
        m_writeErrno = errno;
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
        m_writeErrno = errno;
        m_writeError = SystemErrorText(errno);
        m_problem = Problem::NotWritten;
        return false;
    }
    if (m_head.size() < kHeadBytes)
        m_head.append(data, qsizetype(std::min(size, size_t(kHeadBytes - m_head.size()))));
    m_written += qint64(size);
    return true;
}
