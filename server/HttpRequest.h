// Reading a request text of the local asset server. No Windows header.
#pragma once

#include <string>
#include <string_view>

// True when the text is at least four bytes long and ends with CR LF CR LF.
// Only the end counts: a blank line in the middle does not complete it.
bool IsHttpRequestComplete(std::string_view text);

struct HttpRequestLine {
    bool isGet = false;              // the bytes before the first space are exactly "GET"
    std::string target;              // for GET: from the first space to the next space, CR or LF
    bool asksKeepAlive = false;      // the text holds "\nConnection: Keep-Alive" (exact bytes)
};

// Reads the request line and the keep-alive header. False when the text holds
// no space at all: such a text gets no reply.
bool ParseHttpRequest(std::string_view text, HttpRequestLine* request);

// The target's extension: what follows its last ".", query text included,
// with ASCII capitals made small; empty when it has no ".".
std::string TargetExtension(std::string_view target);
