#include "server/HttpRequest.h"

#include <cstdint>
#include <utility>

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// Calls take(name, value) for every header line: each line after the first
// that holds a colon, with the name and the value trimmed of blanks.
template <typename Take>
void ForEachHeaderLine(std::string_view head, Take take) {
    bool firstLine = true;
    while (!head.empty()) {
        const size_t end = head.find('\n');
        const std::string_view line = head.substr(0, end);
        head.remove_prefix(end == std::string_view::npos ? head.size() : end + 1);
        if (std::exchange(firstLine, false)) continue;  // the request line
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        if (!take(TrimBlanks(line.substr(0, colon)), TrimBlanks(line.substr(colon + 1)))) return;
    }
}

// Decimal digits only, at most 18 of them (no overflow); false otherwise.
bool ParseLength(std::string_view text, uint64_t* length) {
    if (text.empty() || text.size() > 18) return false;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    *length = value;
    return true;
}

}  // namespace

bool IsHttpRequestComplete(std::string_view text) {
    return text.size() >= 4 && text.substr(text.size() - 4) == "\r\n\r\n";
}

bool ParseHttpRequest(std::string_view text, HttpRequestLine* request) {
    const size_t space = text.find(' ');
    if (space == std::string_view::npos) return false;
    request->isGet = text.substr(0, space) == "GET";
    request->target.clear();
    if (request->isGet) {
        const std::string_view rest = text.substr(space + 1);
        request->target.assign(rest.substr(0, rest.find_first_of(" \r\n")));
    }
    request->asksKeepAlive = false;
    request->asksClose = false;
    ForEachHeaderLine(text, [request](std::string_view name, std::string_view value) {
        if (!EqualsIgnoringCase(name, "Connection")) return true;
        while (!value.empty()) {
            const size_t comma = value.find(',');
            const std::string_view token = TrimBlanks(value.substr(0, comma));
            value.remove_prefix(comma == std::string_view::npos ? value.size() : comma + 1);
            if (EqualsIgnoringCase(token, "keep-alive")) request->asksKeepAlive = true;
            if (EqualsIgnoringCase(token, "close")) request->asksClose = true;
        }
        return true;
    });
    return true;
}

std::string TargetExtension(std::string_view target) {
    const size_t dot = target.rfind('.');
    if (dot == std::string_view::npos) return std::string();
    std::string extension(target.substr(dot + 1));
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension;
}

BodyFraming HttpBodyFraming(std::string_view head) {
    static constexpr BodyFraming kUnframeable{BodyFraming::Kind::kUnframeable, 0};
    BodyFraming framing;
    ForEachHeaderLine(head, [&framing](std::string_view name, std::string_view value) {
        if (EqualsIgnoringCase(name, "Transfer-Encoding") || EqualsIgnoringCase(name, "Expect")) {
            framing = kUnframeable;
            return false;
        }
        if (!EqualsIgnoringCase(name, "Content-Length")) return true;
        uint64_t length = 0;
        if (!ParseLength(value, &length) ||
            (framing.kind == BodyFraming::Kind::kLength && framing.length != length)) {
            framing = kUnframeable;
            return false;
        }
        framing = {BodyFraming::Kind::kLength, length};
        return true;
    });
    return framing;
}
