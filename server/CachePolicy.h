// Which asset files the cache lets go, and when a served file counts as used
// again. No Windows header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One stored asset as a listing of the cache directory shows it.
struct CachedFile {
    std::string name;
    uint64_t size = 0;
    uint64_t lastUse = 0;  // its last-write time, in 100 ns ticks
};

// A cache that has grown past its limit is trimmed to about 90 % of it, so
// that the next trim is some way off (the way nginx's cache manager and the
// browsers' disk caches do).
uint64_t TrimTarget(uint64_t limitBytes);

// The files to delete, least recently used first (ties by name), until what
// stays adds up to at most target bytes. None when the total is within it.
std::vector<CachedFile> ChooseEvictions(std::vector<CachedFile> files, uint64_t target);

// A file served from the cache has its last-write time moved to now when it
// is an hour or more old (or lies in the future by as much, after a clock
// change): cheap on the hit path, and fine enough for least-recent-use.
inline constexpr uint64_t kLastUseRefreshTicks = 36000000000ull;  // one hour in 100 ns ticks
bool NeedsLastUseRefresh(uint64_t lastUse, uint64_t now);
