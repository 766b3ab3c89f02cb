#include "skin/PixelConversion.h"

void RgbaToPremultipliedBgra(const uint8_t* rgba, int32_t width, int32_t height, int32_t stride, uint8_t* bgra) {
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* source = rgba + static_cast<int64_t>(y) * stride;
        for (int32_t x = 0; x < width; ++x, source += 4, bgra += 4) {
            const unsigned alpha = source[3];
            bgra[0] = static_cast<uint8_t>(source[2] * alpha / 255);
            bgra[1] = static_cast<uint8_t>(source[1] * alpha / 255);
            bgra[2] = static_cast<uint8_t>(source[0] * alpha / 255);
            bgra[3] = static_cast<uint8_t>(alpha);
        }
    }
}
