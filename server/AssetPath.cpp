#include "server/AssetPath.h"

#include "net/Md5.h"

bool IsSafeRequestTarget(std::string_view target) {
    if (target.empty() || target.front() != '/') return false;
    for (const char c : target) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x21 || byte == 0x7F) return false;
    }
    return true;
}

std::string CacheFileName(std::string_view target) {
    return Md5HexDigest(target.data(), static_cast<uint32_t>(target.size()));
}

std::string CacheFilePath(std::string_view cacheRoot, std::string_view target) {
    std::string path(cacheRoot);
    path += CacheFileName(target);
    return path;
}

std::string CacheTempFilePath(std::string_view finalPath, uint32_t processId, uint32_t threadId, uint32_t sequence) {
    std::string path(finalPath);
    path += ".tmp" + std::to_string(processId) + "-" + std::to_string(threadId) + "-" + std::to_string(sequence);
    return path;
}

bool IsCacheFileName(std::string_view name) {
    if (name.size() != 32) return false;
    for (const char c : name) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool IsCacheTempFileName(std::string_view name) {
    return name.size() >= 36 && IsCacheFileName(name.substr(0, 32)) && name.substr(32, 4) == ".tmp";
}
