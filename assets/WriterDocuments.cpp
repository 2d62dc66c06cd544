#include "assets/WriterDocuments.h"

#include "assets/StoredZip.h"

#include <QFile>
#include <algorithm>

namespace {

const char *const kXmlDeclaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";
const char *const kOdtType = "application/vnd.oasis.opendocument.text";

QByteArray paragraphsXml(const QStringList &paragraphs)
{
    QByteArray xml;
    for (const QString &paragraph : paragraphs)
        xml += "<text:p>" + paragraph.toHtmlEscaped().toUtf8() + "</text:p>";
    return xml;
}

QByteArray odfBytes(const QByteArray &mimeType, const QByteArray &bodyXml)
{
    StoredZip zip;
    zip.add(QStringLiteral("mimetype"), mimeType);
    zip.add(QStringLiteral("content.xml"),
            kXmlDeclaration
                + QByteArray(R"(<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" )"
                             R"(xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2">)"
                             "<office:body><office:text>")
                + bodyXml + "</office:text></office:body></office:document-content>");
    zip.add(QStringLiteral("META-INF/manifest.xml"),
            kXmlDeclaration
                + QByteArray(R"(<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">)"
                             R"(<manifest:file-entry manifest:full-path="/" manifest:media-type=")" + mimeType + R"("/>)"
                             R"(<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>)"
                             "</manifest:manifest>"));
    return zip.bytes();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the document %s", qPrintable(path));
}

QByteArray sxwBytes(const QByteArray &mimeType, const QStringList &paragraphs)
{
    StoredZip zip;
    zip.add(QStringLiteral("mimetype"), mimeType);
    zip.add(QStringLiteral("content.xml"),
            kXmlDeclaration
                + QByteArray(R"(<office:document-content xmlns:office="http://openoffice.org/2000/office" )"
                             R"(xmlns:text="http://openoffice.org/2000/text" office:class="text" office:version="1.0">)"
                             "<office:body>")
                + paragraphsXml(paragraphs) + "</office:body></office:document-content>");
    zip.add(QStringLiteral("META-INF/manifest.xml"),
            kXmlDeclaration
                + QByteArray(R"(<manifest:manifest xmlns:manifest="http://openoffice.org/2001/manifest">)"
                             R"(<manifest:file-entry manifest:media-type=")" + mimeType + R"(" manifest:full-path="/"/>)"
                             R"(<manifest:file-entry manifest:media-type="text/xml" manifest:full-path="content.xml"/>)"
                             "</manifest:manifest>"));
    return zip.bytes();
}

} // namespace

void writeWriterDocument(const QString &path, WriterFormat format, const QStringList &paragraphs)
{
    switch (format) {
    case WriterFormat::Odt: writeFile(path, odfBytes(kOdtType, paragraphsXml(paragraphs))); break;
    case WriterFormat::Ott: writeFile(path, odfBytes(kOdtType + QByteArray("-template"), paragraphsXml(paragraphs))); break;
    case WriterFormat::Sxw: writeFile(path, sxwBytes("application/vnd.sun.xml.writer", paragraphs)); break;
    case WriterFormat::Stw: writeFile(path, sxwBytes("application/vnd.sun.xml.writer.template", paragraphs)); break;
    }
}

void writeOdtXml(const QString &path, const QByteArray &bodyXml)
{
    writeFile(path, odfBytes(kOdtType, bodyXml));
}

void writeMarkedOdt(const QString &path, int bookmarks)
{
    QByteArray body = "<text:p>Marked ";
    for (int i = 0; i < bookmarks; ++i)
        body += "<text:bookmark text:name=\"m" + QByteArray::number(i) + "\"/>x";
    writeOdtXml(path, body + "</text:p>");
}

int bookmarksToOutlast(qint64 atLeastMs, qint64 tookMs)
{
    const qint64 times = (atLeastMs + std::max<qint64>(tookMs, 1) - 1) / std::max<qint64>(tookMs, 1);
    return static_cast<int>(10000 * std::clamp<qint64>(times, 1, 20));
}

void writeTruncatedOdt(const QString &path)
{
    const QByteArray whole = odfBytes(kOdtType, paragraphsXml({QStringLiteral("This document was cut off.")}));
    writeFile(path, whole.left(whole.size() / 2));
}
