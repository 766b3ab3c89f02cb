// Room for one more fetch from the CDN: what a miss must wait for, end or be
// refused before its fetch may start. The game's own browser connects from
// 127.0.0.1; any other address may hold only a few fetches at once, so that
// a peer on the network can neither starve the player's misses nor fill the
// cache. No Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr uint32_t kLoopbackPeer = 0x7F000001;  // 127.0.0.1, host byte order

// A fetch under way: the address that started it, and whether any reply
// still reads it.
struct RunningFetch {
    uint32_t peer = kLoopbackPeer;
    bool read = false;
};

struct FetchRoom {
    enum class Verdict {
        kStart,     // there is room
        kEndFirst,  // end fetches[victim], which nobody reads, then ask again
        kRefuse,    // every fetch that stands in the way is still read
    };
    Verdict verdict = Verdict::kStart;
    size_t victim = 0;
};

// For a new fetch of peer among fetches: at most maxPerPeer may be held by
// one address other than 127.0.0.1, at most maxFetches in all. At either
// bound a fetch nobody reads gives way (the peer's own at its bound), the
// first listed first; only when every one is still read is the new one
// refused.
FetchRoom RoomForFetch(const std::vector<RunningFetch>& fetches, uint32_t peer, size_t maxFetches,
                       size_t maxPerPeer);
