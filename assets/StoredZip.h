#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A zip archive with every entry stored uncompressed, in the order added; enough
// to build Writer documents (whose "mimetype" must come first, uncompressed).
class StoredZip {
public:
    void add(const QString &name, const QByteArray &data);
    QByteArray bytes() const;

private:
    struct Entry {
        QByteArray name;
        QByteArray data;
    };
    QList<Entry> m_entries;
};
