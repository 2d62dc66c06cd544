#include "util/PrintableName.h"

#include <QFile>
#include <QJsonDocument>
#include <cstdio>

namespace {

void appendOctal(QByteArray &out, unsigned char byte)
{
    out += '\\';
    out += char('0' + (byte >> 6));
    out += char('0' + ((byte >> 3) & 7));
    out += char('0' + (byte & 7));
}

void appendControl(QByteArray &out, unsigned char byte)
{
    static const char letters[] = "abtnvfr"; // 7 to 13
    if (byte >= 7 && byte <= 13) {
        out += '\\';
        out += letters[byte - 7];
    } else {
        appendOctal(out, byte);
    }
}

// The length of the well-formed UTF-8 sequence at the start of `bytes` (no overlong
// forms, no surrogates, nothing above U+10FFFF), or 0.
qsizetype sequenceLength(QByteArrayView bytes)
{
    const auto at = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(0);
    qsizetype length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (bytes.size() < length || at(1) < low || at(1) > high)
        return 0;
    for (qsizetype i = 2; i < length; ++i) {
        if (at(i) < 0x80 || at(i) > 0xBF)
            return 0;
    }
    return length;
}

} // namespace

QString PrintableName(QByteArrayView systemName)
{
    QByteArray out;
    out.reserve(systemName.size());
    qsizetype i = 0;
    while (i < systemName.size()) {
        const auto byte = static_cast<unsigned char>(systemName[i]);
        if (byte < 0x20 || byte == 0x7F) {
            appendControl(out, byte);
            ++i;
        } else if (byte == '\\') {
            out += "\\\\";
            ++i;
        } else if (byte < 0x80) {
            out += char(byte);
            ++i;
        } else if (const qsizetype length = sequenceLength(systemName.sliced(i)); length == 0) {
            appendOctal(out, byte); // not UTF-8
            ++i;
        } else if (byte == 0xC2 && static_cast<unsigned char>(systemName[i + 1]) <= 0x9F) {
            appendOctal(out, byte); // U+0080 to U+009F: the C1 controls
            appendOctal(out, static_cast<unsigned char>(systemName[i + 1]));
            i += 2;
        } else {
            out += systemName.sliced(i, length);
            i += length;
        }
    }
    return QString::fromUtf8(out);
}

QString PrintableText(const QString &text)
{
    return PrintableName(QFile::encodeName(text));
}

void PrintProgramError(const QString &text)
{
    std::fputs(("tarnwick: " + PrintableText(text) + "\n").toLocal8Bit().constData(), stderr);
}

QByteArray JsonLine(const QJsonObject &object)
{
    // Qt writes the controls below 32 as "\n", "\t" (...) or "\u00XX", and DEL and
    // the C1 controls (0xC2 0x80 to 0xC2 0x9F in UTF-8) as they are. Outside strings
    // JSON has none of them.
    static const QByteArray shortForms = "btnfr"; // 8, 9, 10, 12, 13
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    QByteArray line;
    line.reserve(json.size() + 1);
    const auto escaped = [&](int code) { line += "\\u00" + QByteArray::number(code, 16).rightJustified(2, '0'); };
    for (qsizetype i = 0; i < json.size(); ++i) {
        const auto byte = static_cast<unsigned char>(json[i]);
        const auto next = i + 1 < json.size() ? static_cast<unsigned char>(json[i + 1]) : 0;
        if (byte == '\\' && shortForms.contains(char(next))) {
            escaped(next == 'b' ? 8 : next == 't' ? 9 : next == 'n' ? 10 : next == 'f' ? 12 : 13);
            ++i;
        } else if (byte == '\\') {
            line += json.mid(i, 2); // an escape of its own, such as "\\"
            ++i;
        } else if (byte == 0x7F) {
            escaped(0x7F);
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            escaped(next);
            ++i;
        } else {
            line += char(byte);
        }
    }
    return line + '\n';
}
