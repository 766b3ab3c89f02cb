#include "game/GameLayout.h"

#include <gtest/gtest.h>

namespace {

TEST(GameLayout, ButtonsFollowTheRightEdgeAndSharesTruncateTowardZero) {
    const LayoutBox button{1000, 3, 30, 25};
    const LayoutChange wider = ChangeForSize(0, 1100, 650, 1000, 700);
    EXPECT_EQ(wider.dx, 100);
    EXPECT_EQ(wider.dy, -50);
    const LayoutBox moved = FollowChange(kGameLayout[0], button, wider);
    EXPECT_EQ(moved.x, 1100);
    EXPECT_EQ(moved.y, 3);  // moving right never moves vertically
    EXPECT_EQ(moved.width, 30);

    // 33 % of -7 is -2.31: toward zero gives -2, not -3.
    const LayoutBox down = FollowChange({1, LayoutKind::kMove, 33}, {0, 0, 10, 10}, {7, -7});
    EXPECT_EQ(down.x, 2);
    EXPECT_EQ(down.y, -2);
    const LayoutBox grown = FollowChange({1, LayoutKind::kGrow, 50}, {5, 5, 10, 10}, {9, -9});
    EXPECT_EQ(grown.width, 14);
    EXPECT_EQ(grown.height, 6);
    EXPECT_EQ(grown.x, 5);
    const LayoutBox still = FollowChange({1, LayoutKind::kFixed, 100}, {5, 5, 10, 10}, {9, 9});
    EXPECT_EQ(still.x, 5);
    EXPECT_EQ(still.width, 10);

    // Minimised: nothing follows, whatever the size says.
    const LayoutChange minimised = ChangeForSize(kSizeMinimized, 0, 0, 1000, 700);
    EXPECT_EQ(minimised.dx, 0);
    EXPECT_EQ(minimised.dy, 0);
}

TEST(GameLayout, OnlyASystemMaximiseCountsAsFillingTheWorkArea) {
    EXPECT_EQ(StateAfterSize(2), WindowState::kWorkArea);  // SIZE_MAXIMIZED
    for (uint32_t other : {0u, 1u, 3u, 4u}) EXPECT_EQ(StateAfterSize(other), WindowState::kNormal) << other;
}

TEST(GameLayout, HeightIsLimitedToTheFullScreenPlusTheTitleBar) {
    EXPECT_EQ(LimitedHeight(2000, 1000), 1026);
    EXPECT_EQ(LimitedHeight(1026, 1000), 1026);
    EXPECT_EQ(LimitedHeight(650, 1000), 650);
}

TEST(GameLayout, EdgeBandsWinOverCornersAndCornersReachTenPixels) {
    const int l = 100, t = 50, r = 1100, b = 750;
    EXPECT_EQ(FrameHitTest(l + 2, t + 2, l, t, r, b), 10);   // left band, not the corner
    EXPECT_EQ(FrameHitTest(l + 3, t + 200, l, t, r, b), 10);
    EXPECT_EQ(FrameHitTest(r - 3, t + 200, l, t, r, b), 11);
    EXPECT_EQ(FrameHitTest(l + 200, t + 3, l, t, r, b), 12);
    EXPECT_EQ(FrameHitTest(l + 200, b - 3, l, t, r, b), 15);
    EXPECT_EQ(FrameHitTest(l + 6, t + 6, l, t, r, b), 13);
    EXPECT_EQ(FrameHitTest(r - 10, t + 10, l, t, r, b), 14);
    EXPECT_EQ(FrameHitTest(l + 10, b - 10, l, t, r, b), 16);
    EXPECT_EQ(FrameHitTest(r - 6, b - 6, l, t, r, b), 17);
    EXPECT_EQ(FrameHitTest(l + 11, t + 6, l, t, r, b), 1);
    EXPECT_EQ(FrameHitTest(l + 4, t + 200, l, t, r, b), 1);
    // A window on a monitor left of the primary one: x = -250 is inside it,
    // not 65286 far to its right.
    EXPECT_EQ(FrameHitTest(-250, 300, -500, 0, -10, 700), 1);
    EXPECT_EQ(FrameHitTest(-498, 300, -500, 0, -10, 700), 10);
}

TEST(GameLayout, SizingCommandsAndCursorsMatchTheEdges) {
    const struct { uint32_t hit, command; FrameCursor cursor; } rows[] = {
        {10, 0xF001, FrameCursor::kSizeWestEast},           {11, 0xF002, FrameCursor::kSizeWestEast},
        {12, 0xF003, FrameCursor::kSizeNorthSouth},         {15, 0xF006, FrameCursor::kSizeNorthSouth},
        {13, 0xF004, FrameCursor::kSizeNorthwestSoutheast}, {17, 0xF008, FrameCursor::kSizeNorthwestSoutheast},
        {14, 0xF005, FrameCursor::kSizeNortheastSouthwest}, {16, 0xF007, FrameCursor::kSizeNortheastSouthwest},
        {2, 0, FrameCursor::kArrow},                        {1, 0, FrameCursor::kArrow},
        {18, 0, FrameCursor::kArrow},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SizingCommandFor(row.hit), row.command) << row.hit;
        EXPECT_EQ(CursorForHitTest(row.hit), row.cursor) << row.hit;
    }
}

TEST(GameLayout, TitleBarRows) {
    EXPECT_FALSE(IsDragRow(3));
    EXPECT_TRUE(IsDragRow(4));
    EXPECT_TRUE(IsDragRow(26));
    EXPECT_FALSE(IsDragRow(27));
    EXPECT_TRUE(IsToggleRow(0));
    EXPECT_TRUE(IsToggleRow(26));
    EXPECT_FALSE(IsToggleRow(27));
}

}  // namespace
