#include "app/ForwardRule.h"

#include <gtest/gtest.h>

namespace {

TEST(ForwardRule, KeyboardAndMouseRangesAreInclusive) {
    for (unsigned message : {0x0100u, 0x0101u, 0x0102u, 0x0104u, 0x0109u, 0x0200u, 0x0201u, 0x020Au, 0x020Du}) {
        EXPECT_TRUE(IsKeyboardOrMouseMessage(message)) << std::hex << message;
    }
    for (unsigned message : {0x0000u, 0x000Fu, 0x00FFu, 0x010Au, 0x0111u, 0x01FFu, 0x020Eu, 0x02A3u, 0x037Fu,
                             0x0400u, 0xC000u}) {
        EXPECT_FALSE(IsKeyboardOrMouseMessage(message)) << std::hex << message;
    }
}

TEST(ForwardRule, OnlyInputForTheGameWindowIsOffered) {
    EXPECT_TRUE(ShouldOfferToBrowser(0x0100, true));    // WM_KEYDOWN
    EXPECT_TRUE(ShouldOfferToBrowser(0x0201, true));    // WM_LBUTTONDOWN
    EXPECT_FALSE(ShouldOfferToBrowser(0x0100, false));  // a message box's key
    EXPECT_FALSE(ShouldOfferToBrowser(0x0201, false));
    EXPECT_FALSE(ShouldOfferToBrowser(0x000F, true));   // WM_PAINT
    EXPECT_FALSE(ShouldOfferToBrowser(0x0111, true));   // WM_COMMAND
}

}  // namespace
