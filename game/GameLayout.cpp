#include "game/GameLayout.h"

namespace {

// Hit-test codes.
constexpr int32_t kClient = 1, kLeft = 10, kRight = 11, kTop = 12, kTopLeft = 13, kTopRight = 14, kBottom = 15,
                  kBottomLeft = 16, kBottomRight = 17;

constexpr int32_t Share(int32_t percent, int32_t change) { return percent * change / 100; }

}  // namespace

int32_t LimitedHeight(int32_t height, int32_t fullScreenHeight) {
    const int32_t limit = fullScreenHeight + 26;
    return height > limit ? limit : height;
}

LayoutChange ChangeForSize(uint32_t sizeType, int32_t width, int32_t height, int32_t previousWidth,
                           int32_t previousHeight) {
    if (sizeType == kSizeMinimized) return {0, 0};
    return {width - previousWidth, height - previousHeight};
}

WindowState StateAfterSize(uint32_t sizeType) {
    constexpr uint32_t kSizeMaximized = 2;
    return sizeType == kSizeMaximized ? WindowState::kWorkArea : WindowState::kNormal;
}

LayoutBox FollowChange(const LayoutEntry& entry, LayoutBox box, LayoutChange change) {
    const int32_t dx = Share(entry.percent, change.dx);
    const int32_t dy = Share(entry.percent, change.dy);
    switch (entry.kind) {
        case LayoutKind::kMoveRight: box.x += dx; break;
        case LayoutKind::kMoveDown: box.y += dy; break;
        case LayoutKind::kMove: box.x += dx; box.y += dy; break;
        case LayoutKind::kWiden: box.width += dx; break;
        case LayoutKind::kHeighten: box.height += dy; break;
        case LayoutKind::kGrow: box.width += dx; box.height += dy; break;
        case LayoutKind::kFixed: break;
    }
    return box;
}

int32_t FrameHitTest(int16_t x, int16_t y, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const int32_t px = x, py = y;
    if (px <= left + 3) return kLeft;
    if (px >= right - 3) return kRight;
    if (py <= top + 3) return kTop;
    if (py >= bottom - 3) return kBottom;
    const bool nearLeft = px <= left + 10, nearRight = px >= right - 10;
    const bool nearTop = py <= top + 10, nearBottom = py >= bottom - 10;
    if (nearLeft && nearTop) return kTopLeft;
    if (nearRight && nearTop) return kTopRight;
    if (nearLeft && nearBottom) return kBottomLeft;
    if (nearRight && nearBottom) return kBottomRight;
    return kClient;
}

uint32_t SizingCommandFor(uint32_t hitTest) {
    constexpr uint32_t kSize = 0xF000;  // SC_SIZE; the low digit names the edge
    switch (hitTest) {
        case kLeft: return kSize + 1;
        case kRight: return kSize + 2;
        case kTop: return kSize + 3;
        case kTopLeft: return kSize + 4;
        case kTopRight: return kSize + 5;
        case kBottom: return kSize + 6;
        case kBottomLeft: return kSize + 7;
        case kBottomRight: return kSize + 8;
        default: return 0;
    }
}

FrameCursor CursorForHitTest(uint32_t hitTest) {
    switch (hitTest) {
        case kLeft: case kRight: return FrameCursor::kSizeWestEast;
        case kTop: case kBottom: return FrameCursor::kSizeNorthSouth;
        case kTopLeft: case kBottomRight: return FrameCursor::kSizeNorthwestSoutheast;
        case kTopRight: case kBottomLeft: return FrameCursor::kSizeNortheastSouthwest;
        default: return FrameCursor::kArrow;
    }
}
