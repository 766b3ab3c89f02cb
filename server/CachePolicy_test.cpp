#include "server/CachePolicy.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Names(const std::vector<CachedFile>& files) {
    std::vector<std::string> names;
    for (const CachedFile& file : files) names.push_back(file.name);
    return names;
}

TEST(CachePolicy, EvictsTheLeastRecentlyUsedUntilWithinTheTarget) {
    const std::vector<CachedFile> files = {{"new", 400, 30}, {"old", 300, 10}, {"mid", 300, 20}, {"tie-b", 100, 5},
                                           {"tie-a", 100, 5}};
    EXPECT_EQ(Names(ChooseEvictions(files, 1200)), std::vector<std::string>{});
    EXPECT_EQ(Names(ChooseEvictions(files, 1100)), (std::vector<std::string>{"tie-a"}));
    EXPECT_EQ(Names(ChooseEvictions(files, 700)), (std::vector<std::string>{"tie-a", "tie-b", "old"}));
    EXPECT_EQ(Names(ChooseEvictions(files, 0)), (std::vector<std::string>{"tie-a", "tie-b", "old", "mid", "new"}));
}

TEST(CachePolicy, AServedFileCountsAsUsedAgainOnlyOnceAnHourHasPassed) {
    const uint64_t now = 133000000000000000ull;
    EXPECT_FALSE(NeedsLastUseRefresh(now, now));
    EXPECT_FALSE(NeedsLastUseRefresh(now - kLastUseRefreshTicks + 1, now));
    EXPECT_TRUE(NeedsLastUseRefresh(now - kLastUseRefreshTicks, now));
    EXPECT_TRUE(NeedsLastUseRefresh(now + kLastUseRefreshTicks, now));  // the clock went back
}

}  // namespace
