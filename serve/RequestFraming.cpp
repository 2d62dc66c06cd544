#include "serve/RequestFraming.h"

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <cstring>
#include <microhttpd.h>

namespace {

constexpr ptrdiff_t kLongestGap = 256; // white space between a colon and its value

bool isTokenByte(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || (c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c));
}

struct Headers {
    bool badName = false;
    bool folded = false;
    QList<QByteArray> lengths;
    QList<QByteArray> codings; // Transfer-Encoding's, in order
    bool transferEncoding = false;
};

// libmicrohttpd (0.9.75) keeps a header's name and value where they stood in the
// request, the colon turned into a terminator: a value right after its name,
// past spaces and tabs alone. A line folded onto the next is joined to the name
// in a copy of its own, away from the value, and is told apart that way; it is
// not refused by the library.
bool valueFollowsName(const char *key, size_t keySize, const char *value)
{
    const char *const colon = key + keySize;
    const ptrdiff_t gap = value - colon;
    if (gap < 1 || gap > kLongestGap || *colon != '\0')
        return false;
    return std::all_of(colon + 1, value, [](char c) { return c == ' ' || c == '\t'; });
}

MHD_Result collect(void *cls, MHD_ValueKind, const char *key, size_t keySize, const char *value, size_t)
{
    auto &headers = *static_cast<Headers *>(cls);
    if (keySize == 0 || !std::all_of(key, key + keySize, isTokenByte))
        headers.badName = true;
    if (!value || !valueFollowsName(key, keySize, value))
        headers.folded = true;
    const QByteArray text(value ? value : "");
    if (qstricmp(key, MHD_HTTP_HEADER_CONTENT_LENGTH) == 0) {
        for (const QByteArray &part : text.split(','))
            headers.lengths.append(part.trimmed());
    } else if (qstricmp(key, MHD_HTTP_HEADER_TRANSFER_ENCODING) == 0) {
        headers.transferEncoding = true;
        for (const QByteArray &part : text.split(','))
            headers.codings.append(part.trimmed().toLower());
    }
    return MHD_YES;
}

FramingFault badRequest(const char *code, const char *reason)
{
    return {MHD_HTTP_BAD_REQUEST, QString::fromLatin1(code), QString::fromLatin1(reason)};
}

} // namespace

std::optional<FramingFault> FramingFaultOf(MHD_Connection *connection)
{
    Headers headers;
    MHD_get_connection_values_n(connection, MHD_HEADER_KIND, collect, &headers);
    if (headers.badName)
        return badRequest("bad-header", "A header's name is not a token: white space before its colon, or a byte "
                                        "a name may not have.");
    if (headers.folded)
        return badRequest("bad-header", "A header is folded onto the next line.");
    const bool lengthsDiffer = std::any_of(headers.lengths.cbegin(), headers.lengths.cend(),
                                           [&](const QByteArray &value) { return value != headers.lengths.first(); });
    if (lengthsDiffer || (headers.transferEncoding && !headers.lengths.isEmpty()))
        return badRequest("ambiguous-length", "The request's length is given twice, in ways that differ.");
    if (!headers.transferEncoding || headers.codings == QList<QByteArray>{"chunked"})
        return std::nullopt;
    // RFC 9112 6.3: a body whose last coding is not chunked has no length a
    // server can find; any other coding is one this service does not know.
    if (headers.codings.isEmpty() || headers.codings.last() != "chunked")
        return badRequest("bad-framing", "The request's transfer coding does not end with chunked, so its length "
                                         "cannot be known.");
    return FramingFault{MHD_HTTP_NOT_IMPLEMENTED, QStringLiteral("unknown-coding"),
                        QStringLiteral("The service understands the chunked transfer coding alone.")};
}
