#include "net/Md5.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Digest(const std::string& text) {
    return Md5HexDigest(text.data(), static_cast<uint32_t>(text.size()));
}

TEST(Md5, Rfc1321TestSuite) {
    EXPECT_EQ(Digest(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Digest("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Digest("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Digest("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Digest("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Digest("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Digest("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, PaddingBoundariesMatchKnownDigests) {
    // 55 bytes pad into one final block, 56 into two; 63 and 64 straddle a block.
    EXPECT_EQ(Digest(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(Digest(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(Digest(std::string(63, 'a')), "b06521f39153d618550606be297466d5");
    EXPECT_EQ(Digest(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
    EXPECT_EQ(Digest(std::string(65, 'a')), "c743a45e0d2e6a95cb859adae0248435");
}

TEST(Md5, UpdatesSplitAnywhereGiveTheWholeDigest) {
    std::string input;
    for (int i = 0; i < 1000; ++i) input.push_back(static_cast<char>(i * 7 + 3));
    const std::string whole = Digest(input);
    for (const size_t first : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 127u, 500u, 999u, 1000u}) {
        for (const size_t second : {0u, 1u, 3u, 64u, 200u}) {
            if (first + second > input.size()) continue;
            Md5Context context;
            Md5Init(&context);
            Md5Update(&context, input.data(), static_cast<uint32_t>(first));
            Md5Update(&context, input.data() + first, static_cast<uint32_t>(second));
            Md5Update(&context, input.data() + first + second, static_cast<uint32_t>(input.size() - first - second));
            uint8_t digest[16];
            Md5Final(&context, digest);
            EXPECT_EQ(Md5DigestText(digest), whole) << first << "+" << second;
        }
    }
}

TEST(Md5, DigestTextIsLowerCaseHexInByteOrder) {
    const uint8_t digest[16] = {0x00, 0x01, 0x0a, 0xff, 0x10, 0xab, 0xcd, 0xef, 0x90, 0x80, 0x7f, 0x2c, 0x3d, 0x4e, 0x5f, 0x60};
    EXPECT_EQ(Md5DigestText(digest), "00010aff10abcdef90807f2c3d4e5f60");
}

TEST(Md5, FinalWipesTheContext) {
    Md5Context context;
    Md5Init(&context);
    Md5Update(&context, "secret", 6);
    uint8_t digest[16];
    Md5Final(&context, digest);
    const Md5Context zero{};
    EXPECT_EQ(std::memcmp(&context, &zero, sizeof context), 0);
}

TEST(Md5, HexMatchesIgnoresLetterCaseButNothingElse) {
    const char* abc = "abc";
    EXPECT_TRUE(Md5HexMatches("900150983cd24fb0d6963f7d28e17f72", abc, 3));
    EXPECT_TRUE(Md5HexMatches("900150983CD24FB0D6963F7D28E17F72", abc, 3));
    EXPECT_TRUE(Md5HexMatches("900150983Cd24fB0d6963F7d28E17f72", abc, 3));
    EXPECT_FALSE(Md5HexMatches("900150983cd24fb0d6963f7d28e17f72 ", abc, 3));
    EXPECT_FALSE(Md5HexMatches("900150983cd24fb0d6963f7d28e17f72\r", abc, 3));
    EXPECT_FALSE(Md5HexMatches("900150983cd24fb0d6963f7d28e17f7", abc, 3));
    EXPECT_FALSE(Md5HexMatches("900150983cd24fb0d6963f7d28e17f73", abc, 3));
    EXPECT_FALSE(Md5HexMatches("", abc, 3));
    EXPECT_FALSE(Md5HexMatches("", "", 0));
    EXPECT_FALSE(Md5HexMatches(nullptr, abc, 3));
    EXPECT_TRUE(Md5HexMatches("D41D8CD98F00B204E9800998ECF8427E", nullptr, 0));
}

}  // namespace
