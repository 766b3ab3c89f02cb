#include "update/VersionFile.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kMaxUrlLength = 255;

bool IsDottedDecimal(std::wstring_view text) {
    bool digitBefore = false;
    for (const wchar_t c : text) {
        if (c == L'.') {
            if (!digitBefore) return false;
            digitBefore = false;
        } else if (c >= L'0' && c <= L'9') {
            digitBefore = true;
        } else {
            return false;
        }
    }
    return digitBefore;
}

// Takes the next part off the front of a dotted decimal version: empty, which
// counts as 0, once the version has no more parts.
std::wstring_view TakePart(std::wstring_view& rest) {
    const size_t end = rest.find(L'.');
    const std::wstring_view part = rest.substr(0, end);
    rest.remove_prefix(end == std::wstring_view::npos ? rest.size() : end + 1);
    return part;
}

// Two runs of digits compared as numbers, however long: without their
// leading zeros, the longer is the larger.
int CompareNumbers(std::wstring_view a, std::wstring_view b) {
    a.remove_prefix(std::min(a.find_first_not_of(L'0'), a.size()));
    b.remove_prefix(std::min(b.find_first_not_of(L'0'), b.size()));
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    const int order = a.compare(b);
    return (order > 0) - (order < 0);
}

}  // namespace

std::string GetVersionValue(const char* text, const char* key) {
    if (!text || !key || !*key) return std::string();
    const size_t keyLength = std::strlen(key);
    for (const char* found = std::strstr(text, key); found; found = std::strstr(found + 1, key)) {
        if (found[keyLength] != '=') continue;
        const char* value = found + keyLength + 1;
        return std::string(value, std::strcspn(value, "\r\n"));
    }
    return std::string();
}

bool IsUpdateAnnounced(std::wstring_view remoteVersion, std::wstring_view localVersion) {
    return !remoteVersion.starts_with(localVersion);
}

std::optional<int> CompareVersionNumbers(std::wstring_view a, std::wstring_view b) {
    if (!IsDottedDecimal(a) || !IsDottedDecimal(b)) return std::nullopt;
    while (!a.empty() || !b.empty()) {
        const int order = CompareNumbers(TakePart(a), TakePart(b));
        if (order != 0) return order;
    }
    return 0;
}

std::wstring UpdateFileUrl(std::wstring_view base, std::wstring_view file) {
    if (base.size() + file.size() > kMaxUrlLength) return std::wstring();
    std::wstring url(base);
    url += file;
    return url;
}
