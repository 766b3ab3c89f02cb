#include "server/FetchRoom.h"

namespace {

// The first listed fetch nobody reads that mine accepts.
template <typename Mine>
FetchRoom EndUnreadOrRefuse(const std::vector<RunningFetch>& fetches, Mine mine) {
    for (size_t i = 0; i < fetches.size(); ++i) {
        if (mine(fetches[i]) && !fetches[i].read) return {FetchRoom::Verdict::kEndFirst, i};
    }
    return {FetchRoom::Verdict::kRefuse, 0};
}

}  // namespace

FetchRoom RoomForFetch(const std::vector<RunningFetch>& fetches, uint32_t peer, size_t maxFetches,
                       size_t maxPerPeer) {
    if (peer != kLoopbackPeer) {
        size_t held = 0;
        for (const RunningFetch& fetch : fetches) held += fetch.peer == peer;
        if (held >= maxPerPeer) {
            return EndUnreadOrRefuse(fetches, [peer](const RunningFetch& fetch) { return fetch.peer == peer; });
        }
    }
    if (fetches.size() >= maxFetches) return EndUnreadOrRefuse(fetches, [](const RunningFetch&) { return true; });
    return {};
}
