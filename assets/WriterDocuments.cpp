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

QByteArray odfBytes(const QByteArray &mimeType, const QByteArray &bodyXml, const QByteArray &metaXml = {})
{
    const QByteArray namespaces = R"(xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" )"
                                  R"(xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" )"
                                  R"(xmlns:meta="urn:oasis:names:tc:opendocument:xmlns:meta:1.0" )"
                                  R"(xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" )"
                                  R"(xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" )"
                                  R"(xmlns:xlink="http://www.w3.org/1999/xlink" )"
                                  R"(xmlns:dc="http://purl.org/dc/elements/1.1/" office:version="1.2")";
    StoredZip zip;
    zip.add(QStringLiteral("mimetype"), mimeType);
    zip.add(QStringLiteral("content.xml"), QByteArray(kXmlDeclaration) + "<office:document-content " + namespaces
                                               + "><office:body><office:text>" + bodyXml
                                               + "</office:text></office:body></office:document-content>");
    if (!metaXml.isEmpty())
        zip.add(QStringLiteral("meta.xml"), QByteArray(kXmlDeclaration) + "<office:document-meta " + namespaces
                                                + "><office:meta>" + metaXml + "</office:meta></office:document-meta>");
    const QByteArray metaEntry =
        R"(<manifest:file-entry manifest:full-path="meta.xml" manifest:media-type="text/xml"/>)";
    zip.add(QStringLiteral("META-INF/manifest.xml"),
            kXmlDeclaration
                + QByteArray(R"(<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">)"
                             R"(<manifest:file-entry manifest:full-path="/" manifest:media-type=")" + mimeType + R"("/>)"
                             R"(<manifest:file-entry manifest:full-path="content.xml" )"
                             R"(manifest:media-type="text/xml"/>)")
                + (metaXml.isEmpty() ? QByteArray() : metaEntry) + "</manifest:manifest>");
    return zip.bytes();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the document %s", qPrintable(path));
}

QByteArray sxwBytes(const QByteArray &mimeType, const QByteArray &bodyXml, const QByteArray &metaXml = {})
{
    const QByteArray namespaces = R"(xmlns:office="http://openoffice.org/2000/office" )"
                                  R"(xmlns:text="http://openoffice.org/2000/text" )"
                                  R"(xmlns:meta="http://openoffice.org/2000/meta" )"
                                  R"(xmlns:dc="http://purl.org/dc/elements/1.1/" office:version="1.0")";
    StoredZip zip;
    zip.add(QStringLiteral("mimetype"), mimeType);
    zip.add(QStringLiteral("content.xml"), QByteArray(kXmlDeclaration) + "<office:document-content " + namespaces
                                               + R"( office:class="text"><office:body>)" + bodyXml
                                               + "</office:body></office:document-content>");
    if (!metaXml.isEmpty())
        zip.add(QStringLiteral("meta.xml"), QByteArray(kXmlDeclaration) + "<office:document-meta " + namespaces
                                                + "><office:meta>" + metaXml + "</office:meta></office:document-meta>");
    const QByteArray metaEntry =
        R"(<manifest:file-entry manifest:media-type="text/xml" manifest:full-path="meta.xml"/>)";
    zip.add(QStringLiteral("META-INF/manifest.xml"),
            kXmlDeclaration
                + QByteArray(R"(<manifest:manifest xmlns:manifest="http://openoffice.org/2001/manifest">)"
                             R"(<manifest:file-entry manifest:media-type=")" + mimeType + R"(" manifest:full-path="/"/>)"
                             R"(<manifest:file-entry manifest:media-type="text/xml" )"
                             R"(manifest:full-path="content.xml"/>)")
                + (metaXml.isEmpty() ? QByteArray() : metaEntry) + "</manifest:manifest>");
    return zip.bytes();
}

} // namespace

void writeWriterDocument(const QString &path, WriterFormat format, const QStringList &paragraphs)
{
    writeWriterDocumentXml(path, format, paragraphsXml(paragraphs));
}

void writeWriterDocumentXml(const QString &path, WriterFormat format, const QByteArray &bodyXml,
                            const QByteArray &metaXml)
{
    const QByteArray odt = kOdtType, sxw = "application/vnd.sun.xml.writer";
    switch (format) {
    case WriterFormat::Odt: writeFile(path, odfBytes(odt, bodyXml, metaXml)); break;
    case WriterFormat::Ott: writeFile(path, odfBytes(odt + "-template", bodyXml, metaXml)); break;
    case WriterFormat::Sxw: writeFile(path, sxwBytes(sxw, bodyXml, metaXml)); break;
    case WriterFormat::Stw: writeFile(path, sxwBytes(sxw + ".template", bodyXml, metaXml)); break;
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

void writePictureOnlyOdt(const QString &path)
{
    writeOdtXml(path, R"(<text:p><draw:a xlink:type="simple" xlink:href="https://example.org/">)"
                      R"(<draw:frame draw:name="Picture" text:anchor-type="paragraph" )"
                      R"(svg:width="2cm" svg:height="2cm">)"
                      R"(<draw:image xlink:href="../picture.png" xlink:type="simple" xlink:show="embed" )"
                      R"(xlink:actuate="onLoad"/></draw:frame></draw:a></text:p>)");
}

void writeTruncatedOdt(const QString &path)
{
    const QByteArray whole = odfBytes(kOdtType, paragraphsXml({QStringLiteral("This document was cut off.")}));
    writeFile(path, whole.left(whole.size() / 2));
}
