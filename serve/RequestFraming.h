#pragma once

#include <QString>
#include <optional>

struct MHD_Connection;

// What is wrong with a request's header block, for the answer that refuses it.
struct FramingFault {
    int status = 400;
    QString code;
    QString reason;
};

// Checks the header block of the request whose headers have just come, before any
// of its body is read: RFC 9112 forbids a header name with white space before its
// colon (or any other byte that is not a token's), a line folded onto the next
// (obs-fold), a length given two ways (Content-Length values that differ, or
// Content-Length beside Transfer-Encoding), and a transfer coding other than
// "chunked" alone. Each is refused and the connection closed, so that no proxy in
// front takes the rest of the bytes for another request.
std::optional<FramingFault> FramingFaultOf(MHD_Connection *connection);
