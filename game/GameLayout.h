// The game window's arithmetic: how its title-bar buttons follow a resize,
// its sizing frame, and the rows of its home-made title bar. No Windows
// header; the codes are the system's hit-test and SC_SIZE values.
#pragma once

#include <cstdint>

#include "res/resource.h"

// How a control follows a resize: moved right, down or both, or made wider,
// taller or both; kFixed stays where it is.
enum class LayoutKind : int32_t { kMoveRight, kMoveDown, kMove, kWiden, kHeighten, kGrow, kFixed };

// One row of a window's layout table: how control `id` follows a resize.
// percent is the share of the change it follows; a row above 100 is skipped.
struct LayoutEntry {
    int32_t id;
    LayoutKind kind;
    int32_t percent;
};

// A row of the game window's table that names no control of it: skipped.
inline constexpr int32_t kNoSuchControl = 32786;

// The game window's table: every title-bar button follows the right edge.
// The emblem is not in it.
inline constexpr LayoutEntry kGameLayout[] = {
    {ControlId(GameWindowButton::kClose), LayoutKind::kMoveRight, 100},
    {ControlId(GameWindowButton::kRestore), LayoutKind::kMoveRight, 100},
    {ControlId(GameWindowButton::kWorkArea), LayoutKind::kMoveRight, 100},
    {ControlId(GameWindowButton::kMinimise), LayoutKind::kMoveRight, 100},
    {ControlId(GameWindowButton::kMenu), LayoutKind::kMoveRight, 100},
    {ControlId(GameWindowButton::kHide), LayoutKind::kMoveRight, 100},
    {kNoSuchControl, LayoutKind::kMoveRight, 100},
};

struct LayoutBox {
    int32_t x, y, width, height;
};

// A size message of this type (SIZE_MINIMIZED) moves nothing.
inline constexpr uint32_t kSizeMinimized = 1;

// Where the game window stands: at its own size, or filling the work area
// (through its toggle, or maximised by the system).
enum class WindowState { kNormal, kWorkArea };

// The state a size message of sizeType leaves: SIZE_MAXIMIZED (2) counts as
// filling the work area, every other type as normal.
WindowState StateAfterSize(uint32_t sizeType);

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
