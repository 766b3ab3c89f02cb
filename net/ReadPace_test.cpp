#include "net/ReadPace.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kMax = 1 << 20;

// Reads that fill at once ask for twice as much each time, up to the bound;
// one that waited falls back to what is there; none asks past the body.
TEST(ReadPace, ReadsGrowWhileFilledAtOnceAndFallBackAfterWaiting) {
    CReadPace pace(kMax);
    EXPECT_EQ(pace.Next(8192, 100 << 20), CReadPace::kFirstReach);
    uint32_t asked = CReadPace::kFirstReach;
    for (int i = 0; i < 12; ++i) {
        pace.Took(asked, asked, 1);
        const uint32_t next = pace.Next(8192, 100 << 20);
        EXPECT_GE(next, asked);
        asked = next;
    }
    EXPECT_EQ(asked, kMax);
    pace.Took(asked, asked, CReadPace::kSlowReadMs + 1);
    EXPECT_EQ(pace.Next(4096, 100 << 20), 4096u);

    // A read cut short, or neither quick nor slow, keeps the reach.
    pace.Took(4096, 4096, 1);
    const uint32_t reach = pace.Next(1, 100 << 20);
    pace.Took(reach, reach / 2, 1);
    EXPECT_EQ(pace.Next(1, 100 << 20), reach);
    pace.Took(reach, reach, CReadPace::kSlowReadMs);
    EXPECT_EQ(pace.Next(1, 100 << 20), reach);

    EXPECT_EQ(pace.Next(8192, 100), 100u);
    EXPECT_EQ(pace.Next(0, 5), 5u);
}

}  // namespace
