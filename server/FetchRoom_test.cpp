#include "server/FetchRoom.h"

#include <gtest/gtest.h>

TEST(FetchRoom, AtABoundAFetchNobodyReadsGivesWayBeforeAnyMissIsRefused) {
    constexpr uint32_t kPeer = 0x7F000002, kOther = 0xC0A80002, kLocal = kLoopbackPeer;
    auto room = [](const std::vector<RunningFetch>& fetches, uint32_t peer) {
        const FetchRoom found = RoomForFetch(fetches, peer, 4, 2);
        return std::make_pair(found.verdict, found.victim);
    };
    using V = FetchRoom::Verdict;
    EXPECT_EQ(room({{kPeer, false}}, kPeer).first, V::kStart);
    // At its own bound a peer's unread fetch goes, not another's; then it is refused.
    EXPECT_EQ(room({{kOther, false}, {kPeer, true}, {kPeer, false}}, kPeer), std::make_pair(V::kEndFirst, size_t{2}));
    EXPECT_EQ(room({{kOther, false}, {kPeer, true}, {kPeer, true}}, kPeer).first, V::kRefuse);
    // The game's browser has no bound of its own, only the one of all.
    EXPECT_EQ(room({{kLocal, true}, {kLocal, true}, {kLocal, true}}, kLocal).first, V::kStart);
    EXPECT_EQ(room({{kLocal, true}, {kOther, false}, {kPeer, false}, {kLocal, true}}, kLocal),
              std::make_pair(V::kEndFirst, size_t{1}));
    EXPECT_EQ(room({{kLocal, true}, {kOther, true}, {kPeer, true}, {kLocal, true}}, kLocal).first, V::kRefuse);
}
