#include "convert/DocumentPackage.h"

#include <QFile>
#include <QtEndian>
#include <optional>
#include <zlib.h>

namespace {

constexpr quint32 kEndOfDirectory = 0x06054b50;
constexpr quint32 kDirectoryEntry = 0x02014b50;
constexpr quint32 kLocalHeader = 0x04034b50;
constexpr qint64 kMaxManifestBytes = 16 * 1024 * 1024;

quint16 u16(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 u32(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

QByteArray inflateRaw(const QByteArray &compressed, qint64 size)
{
    QByteArray out(size, Qt::Uninitialized);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return {};
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    stream.avail_in = uInt(compressed.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    return result == Z_STREAM_END ? out.left(qsizetype(stream.total_out)) : QByteArray();
}

// The contents of one entry of a zip file, found through its central directory.
std::optional<QByteArray> zipEntry(QFile &zip, const QByteArray &name)
{
    const qint64 tailSize = qMin<qint64>(zip.size(), 22 + 65535);
    if (tailSize < 22 || !zip.seek(zip.size() - tailSize))
        return std::nullopt;
    const QByteArray tail = zip.read(tailSize);
    qsizetype end = tail.size() - 22;
    while (end >= 0 && u32(tail, end) != kEndOfDirectory)
        --end;
    // Sizes come from the file itself: never trust them beyond the file's size.
    if (end < 0 || u32(tail, end + 12) > zip.size() || !zip.seek(u32(tail, end + 16)))
        return std::nullopt;
    const QByteArray directory = zip.read(u32(tail, end + 12));

    for (qsizetype at = 0; at + 46 <= directory.size() && u32(directory, at) == kDirectoryEntry;) {
        const quint16 method = u16(directory, at + 10);
        const quint32 compressedSize = u32(directory, at + 20), size = u32(directory, at + 24);
        const quint16 nameLength = u16(directory, at + 28);
        const qsizetype next = at + 46 + nameLength + u16(directory, at + 30) + u16(directory, at + 32);
        if (directory.mid(at + 46, nameLength) == name) {
            if (size > kMaxManifestBytes || compressedSize > kMaxManifestBytes || !zip.seek(u32(directory, at + 42)))
                return std::nullopt;
            const QByteArray header = zip.read(30);
            if (header.size() < 30 || u32(header, 0) != kLocalHeader
                || !zip.seek(zip.pos() + u16(header, 26) + u16(header, 28)))
                return std::nullopt;
            const QByteArray data = zip.read(compressedSize);
            if (method == 0)
                return data;
            if (method == Z_DEFLATED)
                return inflateRaw(data, size);
            return std::nullopt;
        }
        at = next;
    }
    return std::nullopt;
}

} // namespace

bool IsPasswordProtected(const QString &path)
{
    QFile zip(path);
    if (!zip.open(QIODevice::ReadOnly))
        return false;
    const std::optional<QByteArray> manifest = zipEntry(zip, "META-INF/manifest.xml");
    return manifest && manifest->contains(":encryption-data");
}
