#include "skin/PixelConversion.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> Convert(const std::vector<uint8_t>& rgba, int32_t width, int32_t height, int32_t stride) {
    std::vector<uint8_t> bgra(static_cast<size_t>(width) * height * 4, 0xEE);
    RgbaToPremultipliedBgra(rgba.data(), width, height, stride, bgra.data());
    return bgra;
}

TEST(PixelConversion, ColoursAreMultipliedByAlphaAndSwappedToBgra) {
    const std::vector<uint8_t> rgba = {
        12, 34, 56, 0,       // transparent: any colour becomes 0
        255, 255, 255, 128,  // half-transparent white
        200, 100, 50, 3,     // truncating divisions
        10, 20, 30, 255,     // opaque: colours unchanged, swapped
    };
    EXPECT_EQ(Convert(rgba, 4, 1, 16), (std::vector<uint8_t>{0, 0, 0, 0, 128, 128, 128, 128, 0, 1, 2, 3,
                                                             30, 20, 10, 255}));
}

TEST(PixelConversion, SourceRowsMayBePaddedButTheResultIsPacked) {
    const std::vector<uint8_t> rgba = {1, 2, 3, 255, 9, 9, 9, 9,   // one pixel, then padding
                                       4, 5, 6, 255, 9, 9, 9, 9};
    EXPECT_EQ(Convert(rgba, 1, 2, 8), (std::vector<uint8_t>{3, 2, 1, 255, 6, 5, 4, 255}));
}

}  // namespace
