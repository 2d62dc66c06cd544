#pragma once

#include <QString>
#include <QStringList>

// Small Writer documents of our own, one paragraph per entry: the sample documents
// the program ships and the documents the tests convert.

enum class WriterFormat {
    Odt, // OpenDocument text
    Ott, // OpenDocument text template
    Sxw, // OpenOffice.org 1.x text
    Stw  // OpenOffice.org 1.x text template
};

void writeWriterDocument(const QString &path, WriterFormat format, const QStringList &paragraphs);

inline void writeOdt(const QString &path, const QStringList &paragraphs)
{
    writeWriterDocument(path, WriterFormat::Odt, paragraphs);
}

inline void writeSxw(const QString &path, const QStringList &paragraphs)
{
    writeWriterDocument(path, WriterFormat::Sxw, paragraphs);
}

// A document whose body is `bodyXml` and whose document data (meta.xml) are
// `metaXml`, both taken as they are, with the prefixes text:, meta: and dc: (their
// namespaces those of the format); no meta.xml when `metaXml` is empty.
void writeWriterDocumentXml(const QString &path, WriterFormat format, const QByteArray &bodyXml,
                            const QByteArray &metaXml = {});

// An .odt whose body is `bodyXml`, paragraphs in the OpenDocument "text:"
// namespace, taken as it is (fields, for instance; frames with draw:, svg: and
// xlink:).
void writeOdtXml(const QString &path, const QByteArray &bodyXml);

// An .odt whose only content is a picture (a link to a picture file) inside a
// hyperlink: the office's text export writes nothing at all for it.
void writePictureOnlyOdt(const QString &path);

// An .odt that keeps the office at work for a while: one paragraph ("Marked xx...")
// holding `bookmarks` bookmarks, each of which the import moves every earlier one
// for (20,000 take the office some ten seconds of CPU).
void writeMarkedOdt(const QString &path, int bookmarks);

// How many bookmarks keep this machine's office at work for `atLeastMs`, once a
// document of 10,000 took it `tookMs` (its start included or not): the work grows
// faster than the count, so a count scaled in proportion is on the safe side,
// quiet machine or busy.
int bookmarksToOutlast(qint64 atLeastMs, qint64 tookMs);

// An .odt cut off halfway, as a broken download leaves it.
void writeTruncatedOdt(const QString &path);
