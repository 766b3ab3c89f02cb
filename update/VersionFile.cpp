#include "update/VersionFile.h"

#include <cstring>

namespace {
constexpr size_t kMaxUrlLength = 255;
}

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

std::wstring UpdateFileUrl(std::wstring_view base, std::wstring_view file) {
    if (base.size() + file.size() > kMaxUrlLength) return std::wstring();
    std::wstring url(base);
    url += file;
    return url;
}
