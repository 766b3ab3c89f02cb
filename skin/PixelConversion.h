// The pixel conversion of the skin pictures. No Windows header.
#pragma once

#include <cstdint>

// Converts width x height RGBA pixels (rows `stride` bytes apart) into packed
// rows of premultiplied blue, green, red, alpha: each colour becomes
// colour * alpha / 255 with integer arithmetic (the division truncates), so
// (200, 100, 50, 3) gives blue 0, green 1, red 2, alpha 3.
void RgbaToPremultipliedBgra(const uint8_t* rgba, int32_t width, int32_t height, int32_t stride, uint8_t* bgra);
