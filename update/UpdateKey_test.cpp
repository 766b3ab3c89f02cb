#include "update/UpdateKey.h"

#include <gtest/gtest.h>

#include <string>

#include "update/HexBytes.h"

namespace {

TEST(UpdateKey, ExactlyOneHundredAndTwentyEightHexDigitsInEitherCase) {
    const std::string x = "6B17D1F2E12C4247F8BCE6E563A440F277037D812DEB33A0F4A13945D898C296";
    const std::string y = "4fe342e2fe1a7f9b8ee7eb4a7c0f9e162bce33576b315ececbb6406837bf51f5";
    const std::optional<UpdateKey> key = ParseUpdateKey(x + y);
    ASSERT_TRUE(key);
    EXPECT_EQ((*key)[0], 0x6b);
    EXPECT_EQ((*key)[31], 0x96);
    EXPECT_EQ((*key)[32], 0x4f);
    EXPECT_EQ((*key)[63], 0xf5);
    std::string lower = x;
    for (char& digit : lower) digit = static_cast<char>(std::tolower(static_cast<unsigned char>(digit)));
    EXPECT_EQ(EncodeHexBytes(*key), lower + y);

    for (const std::string& bad : {std::string(), x, x + y + "0", (x + y).substr(1), "0x" + x + y.substr(2),
                                   " " + x + y.substr(1), x + y.substr(0, 63) + "g", x + y.substr(0, 63) + "\n"}) {
        EXPECT_FALSE(ParseUpdateKey(bad)) << bad;
    }
}

}  // namespace
