// Reading a request text of the local asset server. No Windows header.
#pragma once

#include <string>
#include <string_view>

#include "server/RequestFramer.h"

// True when the text is at least four bytes long and ends with CR LF CR LF.
// Only the end counts: a blank line in the middle does not complete it.
bool IsHttpRequestComplete(std::string_view text);

struct HttpRequestLine {
    bool isGet = false;              // the bytes before the first space are exactly "GET"
    std::string target;              // for GET: from the first space to the next space, CR or LF
    bool asksKeepAlive = false;      // a Connection header line names "keep-alive"
    bool asksClose = false;          // a Connection header line names "close"
};

// Reads the request line and the Connection header lines: their names and
// the comma-separated tokens of their values in any letter case, on any line
// after the request line. False when the text holds no space at all: such a
// text gets no reply.
bool ParseHttpRequest(std::string_view text, HttpRequestLine* request);

// How the body behind a request head is delimited. Header names are read in
// any letter case. A valid Content-Length (decimal digits, the same value in
// every such line) gives its length; none gives no body. A Transfer-Encoding
// (chunked or any other), an Expect (the client may send its body or not,
// after our reply), or a missing, malformed or conflicting length make the body
// unframeable.
BodyFraming HttpBodyFraming(std::string_view head);

// The target's extension: what follows its last ".", query text included,
// with ASCII capitals made small; empty when it has no ".".
std::string TargetExtension(std::string_view target);
