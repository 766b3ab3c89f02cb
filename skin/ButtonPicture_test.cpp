#include "skin/ButtonPicture.h"

#include <gtest/gtest.h>

namespace {

TEST(ButtonPicture, DisabledWinsThenPressedThenHover) {
    for (const bool pressed : {false, true}) {
        for (const bool hover : {false, true}) {
            EXPECT_EQ(ChooseButtonPicture(false, pressed, hover), ButtonPicture::kDisabled);
        }
    }
    EXPECT_EQ(ChooseButtonPicture(true, true, true), ButtonPicture::kPressed);
    EXPECT_EQ(ChooseButtonPicture(true, true, false), ButtonPicture::kPressed);
    EXPECT_EQ(ChooseButtonPicture(true, false, true), ButtonPicture::kHover);
    EXPECT_EQ(ChooseButtonPicture(true, false, false), ButtonPicture::kNormal);
}

}  // namespace
