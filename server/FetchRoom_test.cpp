#include "server/FetchRoom.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kPeer = 0x7F000002;   // 127.0.0.2
constexpr uint32_t kOther = 0xC0A80002;  // 192.168.0.2

FetchRoom Room(const std::vector<RunningFetch>& fetches, uint32_t peer) { return RoomForFetch(fetches, peer, 4, 2); }

}  // namespace

TEST(FetchRoom, AnAddressAtItsBoundEndsItsOwnUnreadFetchThenIsRefused) {
    // Below every bound: start.
    EXPECT_EQ(Room({{kPeer, false}}, kPeer).verdict, FetchRoom::Verdict::kStart);
    // At its bound the peer's own unread fetch goes, not another's, nor a read one.
    const FetchRoom room = Room({{kOther, false}, {kPeer, true}, {kPeer, false}}, kPeer);
    EXPECT_EQ(room.verdict, FetchRoom::Verdict::kEndFirst);
    EXPECT_EQ(room.victim, 2u);
    EXPECT_EQ(Room({{kOther, false}, {kPeer, true}, {kPeer, true}}, kPeer).verdict, FetchRoom::Verdict::kRefuse);
    // The game's browser has no bound of its own.
    EXPECT_EQ(Room({{kLoopbackPeer, true}, {kLoopbackPeer, true}, {kLoopbackPeer, true}}, kLoopbackPeer).verdict,
              FetchRoom::Verdict::kStart);
}

TEST(FetchRoom, AtTheBoundOfAllTheOldestUnreadFetchGivesWay) {
    const std::vector<RunningFetch> full{{kLoopbackPeer, true}, {kOther, false}, {kPeer, false}, {kLoopbackPeer, true}};
    const FetchRoom room = Room(full, kLoopbackPeer);
    EXPECT_EQ(room.verdict, FetchRoom::Verdict::kEndFirst);
    EXPECT_EQ(room.victim, 1u);
    EXPECT_EQ(Room({{kLoopbackPeer, true}, {kOther, true}, {kPeer, true}, {kLoopbackPeer, true}}, kLoopbackPeer).verdict,
              FetchRoom::Verdict::kRefuse);
}
