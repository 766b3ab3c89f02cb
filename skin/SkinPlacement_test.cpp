#include "skin/SkinPlacement.h"

#include <gtest/gtest.h>

namespace {

TEST(SkinPlacement, CentresWithoutClampingAndTruncatesTowardZero) {
    EXPECT_EQ(CentreOnWorkArea(0, 0, 1920, 1040, 1000, 600).x, 460);
    EXPECT_EQ(CentreOnWorkArea(0, 0, 1920, 1040, 1000, 600).y, 220);
    // A work area smaller than the picture: negative, -15.5 and -2.5 become -15 and -2.
    const SkinPoint over = CentreOnWorkArea(0, 0, 1164, 717, 1195, 722);
    EXPECT_EQ(over.x, -15);
    EXPECT_EQ(over.y, -2);
    // A work area that does not start at 0 (the taskbar on the left).
    EXPECT_EQ(CentreOnWorkArea(60, 0, 1280, 1024, 1000, 700).x, 170);
}

}  // namespace
