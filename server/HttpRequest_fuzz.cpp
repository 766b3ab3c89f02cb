// The request side of the asset server on arbitrary bytes: completeness,
// request-line reading and the reply header built from what was read.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/OutBuf.h"
#include "server/HttpReply.h"
#include "server/HttpRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool complete = IsHttpRequestComplete(text);
    if (complete != (size >= 4 && text.substr(size - 4) == "\r\n\r\n")) std::abort();

    HttpRequestLine request;
    const bool parsed = ParseHttpRequest(text, &request);
    if (parsed != (text.find(' ') != std::string_view::npos)) std::abort();
    if (!parsed) return 0;
    if (request.target.find_first_of(" \r\n") != std::string::npos) std::abort();
    if (!request.isGet && !request.target.empty()) std::abort();
    if (request.isGet && text.substr(4, request.target.size()) != request.target) std::abort();

    // A connection token is read only where its letters stand.
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (request.asksKeepAlive && lower.find("connection") == std::string::npos) std::abort();
    if (request.asksKeepAlive && lower.find("keep-alive") == std::string::npos) std::abort();
    if (request.asksClose && lower.find("close") == std::string::npos) std::abort();

    const std::string extension = TargetExtension(request.target);
    if (extension.size() >= request.target.size() + (request.target.empty() ? 1 : 0)) std::abort();
    for (const char c : extension) {
        if (c >= 'A' && c <= 'Z') std::abort();
    }

    COutBuf out;
    if (!AppendReplyHeader(out, "200 OK", FormatHttpDate(static_cast<int64_t>(size) * 86399), static_cast<int32_t>(size),
                           request.asksKeepAlive, extension)) {
        std::abort();
    }
    const std::string head(out.GetData(), static_cast<size_t>(out.GetLength()));
    if (head.rfind("HTTP/1.0 200 OK\r\nDate: ", 0) != 0) std::abort();
    if (head.find("\r\nContent-Length: " + std::to_string(size) + "\r\n") == std::string::npos) std::abort();
    return 0;
}
