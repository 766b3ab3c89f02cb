#include "server/RecentAssets.h"

#include <gtest/gtest.h>

#include "server/CachePolicy.h"

namespace {

CRecentAssets::Body Bytes(size_t size, char fill = 'a') { return std::make_shared<const std::string>(size, fill); }

TEST(RecentAssets, KeepsSmallAssetsWithinTheTotalLeastRecentlyServedGoingFirst) {
    CRecentAssets recent;
    constexpr size_t kQuarter = CRecentAssets::kMaxTotalBytes / 4;
    static_assert(kQuarter > CRecentAssets::kMaxAssetBytes);
    recent.Keep("large", Bytes(CRecentAssets::kMaxAssetBytes + 1), 0, recent.Epoch());
    EXPECT_EQ(recent.Find("large", 0).body, nullptr);

    // Filled to the brim with assets of the largest kept size...
    const size_t count = CRecentAssets::kMaxTotalBytes / CRecentAssets::kMaxAssetBytes;
    for (size_t i = 0; i < count; ++i) {
        std::string name = std::to_string(i);
        name.insert(0, 1, 'a');
        recent.Keep(name, Bytes(CRecentAssets::kMaxAssetBytes), 0, recent.Epoch());
    }
    EXPECT_EQ(recent.TotalBytes(), CRecentAssets::kMaxTotalBytes);
    // ...one more pushes out the least recently served: a0 was served again.
    ASSERT_NE(recent.Find("a0", 0).body, nullptr);
    recent.Keep("new", Bytes(10, 'n'), 0, recent.Epoch());
    EXPECT_EQ(recent.Find("a1", 0).body, nullptr);
    EXPECT_NE(recent.Find("a0", 0).body, nullptr);
    EXPECT_EQ(*recent.Find("new", 0).body, "nnnnnnnnnn");
    EXPECT_LE(recent.TotalBytes(), CRecentAssets::kMaxTotalBytes);

    // Kept again under its name, an asset replaces what was there; one too
    // large to keep, or none, leaves nothing there.
    recent.Keep("new", Bytes(3, 'm'), 0, recent.Epoch());
    EXPECT_EQ(*recent.Find("new", 0).body, "mmm");
    recent.Keep("new", Bytes(CRecentAssets::kMaxAssetBytes + 1), 0, recent.Epoch());
    EXPECT_EQ(recent.Find("new", 0).body, nullptr);
    recent.Keep("a0", nullptr, 0, recent.Epoch());
    EXPECT_EQ(recent.Find("a0", 0).body, nullptr);
}

TEST(RecentAssets, WhatIsForgottenMeanwhileIsNotKept) {
    CRecentAssets recent;
    recent.Keep("x", Bytes(5), 0, recent.Epoch());
    const uint64_t beforeRead = recent.Epoch();
    recent.Forget("x");  // say, evicted from the disk while a copy was read
    recent.Keep("x", Bytes(5), 0, beforeRead);
    EXPECT_EQ(recent.Find("x", 0).body, nullptr);

    recent.Keep("y", Bytes(5), 0, recent.Epoch());
    const uint64_t beforeClear = recent.Epoch();
    recent.ForgetAll();
    EXPECT_EQ(recent.Find("y", 0).body, nullptr);
    EXPECT_EQ(recent.TotalBytes(), 0u);
    recent.Keep("z", Bytes(5), 0, beforeClear);
    EXPECT_EQ(recent.Find("z", 0).body, nullptr);
}

// A hit counts as a use of the file: once an hour past the last use
// recorded, one hit says so and records the time.
TEST(RecentAssets, AHitAsksOnceAnHourForTheFileToBeMarkedUsed) {
    CRecentAssets recent;
    const uint64_t stored = 133000000000000000ull;
    recent.Keep("x", Bytes(5), stored, recent.Epoch());
    EXPECT_FALSE(recent.Find("x", stored + 1).refreshLastUse);
    const uint64_t later = stored + kLastUseRefreshTicks;
    EXPECT_TRUE(recent.Find("x", later).refreshLastUse);
    EXPECT_FALSE(recent.Find("x", later + 1).refreshLastUse);
    EXPECT_TRUE(recent.Find("x", later + kLastUseRefreshTicks).refreshLastUse);
}

}  // namespace
