#include "server/CachePolicy.h"

#include <algorithm>
#include <tuple>

uint64_t TrimTarget(uint64_t limitBytes) { return limitBytes / 10 * 9; }

std::vector<CachedFile> ChooseEvictions(std::vector<CachedFile> files, uint64_t target) {
    uint64_t total = 0;
    for (const CachedFile& file : files) total += file.size;
    std::vector<CachedFile> evicted;
    if (total <= target) return evicted;
    std::sort(files.begin(), files.end(), [](const CachedFile& a, const CachedFile& b) {
        return std::tie(a.lastUse, a.name) < std::tie(b.lastUse, b.name);
    });
    for (const CachedFile& file : files) {
        if (total <= target) break;
        evicted.push_back(file);
        total -= file.size;
    }
    return evicted;
}

bool NeedsLastUseRefresh(uint64_t lastUse, uint64_t now) {
    const uint64_t age = now > lastUse ? now - lastUse : lastUse - now;
    return age >= kLastUseRefreshTicks;
}
