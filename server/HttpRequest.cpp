#include "server/HttpRequest.h"

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
    request->asksKeepAlive = text.find("\nConnection: Keep-Alive") != std::string_view::npos;
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
