#include "assets/StoredZip.h"

#include <QtEndian>
#include <array>

namespace {

quint32 crc32Of(const QByteArray &data)
{
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data)
        crc = table[(crc ^ static_cast<quint8>(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void put16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void put32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

// The fields that the local header and the central directory entry share.
void putEntryFields(QByteArray &out, const QByteArray &name, const QByteArray &data)
{
    put16(out, 20);     // version needed
    put16(out, 0x0800); // names are UTF-8
    put16(out, 0);      // stored
    put16(out, 0);      // time
    put16(out, 0x21);   // date: 1980-01-01
    put32(out, crc32Of(data));
    put32(out, data.size());
    put32(out, data.size());
    put16(out, name.size());
    put16(out, 0); // extra field length
}

} // namespace

void StoredZip::add(const QString &name, const QByteArray &data)
{
    m_entries.append({name.toUtf8(), data});
}

QByteArray StoredZip::bytes() const
{
    QByteArray out;
    QByteArray directory;
    for (const Entry &entry : m_entries) {
        const quint32 offset = out.size();
        put32(out, 0x04034b50);
        putEntryFields(out, entry.name, entry.data);
        out.append(entry.name).append(entry.data);

        put32(directory, 0x02014b50);
        put16(directory, 20); // made by
        putEntryFields(directory, entry.name, entry.data);
        put16(directory, 0); // comment length
        put16(directory, 0); // disk
        put16(directory, 0); // internal attributes
        put32(directory, 0); // external attributes
        put32(directory, offset);
        directory.append(entry.name);
    }
    const quint32 directoryOffset = out.size();
    out.append(directory);
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, m_entries.size());
    put16(out, m_entries.size());
    put32(out, directory.size());
    put32(out, directoryOffset);
    put16(out, 0); // comment length
    return out;
}
