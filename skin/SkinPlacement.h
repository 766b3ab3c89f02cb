// Where the start window goes: centred on the work area, with signed
// division truncating toward zero, and never clamped, so a picture larger
// than the work area overlaps the screen edges evenly. No Windows header.
#pragma once

#include <cstdint>

struct SkinPoint {
    int32_t x, y;
};

SkinPoint CentreOnWorkArea(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t width, int32_t height);
