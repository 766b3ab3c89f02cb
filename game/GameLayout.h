// The game window's arithmetic: how its title-bar buttons follow a resize,
// its sizing frame, and the rows of its home-made title bar. No Windows
// header; the codes are the system's hit-test and SC_SIZE values.
#pragma once

#include <cstdint>

// One row of a window's layout table: how control `id` follows a resize.
// kind 0 moves it right, 1 down, 2 both; 3 widens it, 4 heightens it, 5
// both; anything else leaves it. percent is the share of the change it
// follows; a row above 100 is skipped.
struct LayoutEntry {
    int32_t id;
    int32_t kind;
    int32_t percent;
};

// The game window's table: every title-bar button follows the right edge.
// The emblem 1011 is not in it; 32786 names no control and is skipped.
inline constexpr LayoutEntry kGameLayout[] = {
    {1006, 0, 100}, {1007, 0, 100}, {1012, 0, 100}, {1008, 0, 100},
    {1010, 0, 100}, {1009, 0, 100}, {32786, 0, 100},
};

struct LayoutBox {
    int32_t x, y, width, height;
};

// A size message of this type (SIZE_MINIMIZED) moves nothing.
inline constexpr uint32_t kSizeMinimized = 1;
// The window state while the window fills the work area (also SIZE_MAXIMIZED).
inline constexpr int32_t kStateWorkArea = 2;

// The window is never laid out taller than the full-screen client height
// plus the 26 rows of the title bar.
int32_t LimitedHeight(int32_t height, int32_t fullScreenHeight);

// The change a size message asks the controls to follow: nothing while the
// window is minimised.
struct LayoutChange {
    int32_t dx, dy;
};
LayoutChange ChangeForSize(uint32_t sizeType, int32_t width, int32_t height, int32_t previousWidth,
                           int32_t previousHeight);

// Where a control goes for that change: each share is percent * change / 100,
// the fraction dropped toward zero. The caller skips rows above 100.
LayoutBox FollowChange(const LayoutEntry& entry, LayoutBox box, LayoutChange change);

// The hit-test code for a point of a window with that rectangle: 4-pixel
// sizing bands on every edge (they win over the corners), 10-pixel corner
// zones, client everywhere else. x and y are the message's words read as
// signed screen coordinates, so monitors left of or above the primary one work.
int32_t FrameHitTest(int16_t x, int16_t y, int32_t left, int32_t top, int32_t right, int32_t bottom);

// The WM_SYSCOMMAND value that sizes the window from the edge or corner a
// hit-test code names, or 0 for any other code.
uint32_t SizingCommandFor(uint32_t hitTest);

enum class FrameCursor { kArrow, kSizeWestEast, kSizeNorthSouth, kSizeNorthwestSoutheast, kSizeNortheastSouthwest };
FrameCursor CursorForHitTest(uint32_t hitTest);

// Title-bar rows, by the client y of a mouse message: a press on rows 4 to
// 26 drags the window, a double click on rows 0 to 26 toggles its size.
inline bool IsDragRow(uint16_t y) { return y >= 4 && y <= 26; }
inline bool IsToggleRow(uint16_t y) { return y <= 26; }
