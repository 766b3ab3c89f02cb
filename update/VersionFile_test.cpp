#include "update/VersionFile.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionFile, ValuesRunToTheLineEndAndKeepTrailingBlanks) {
    const char* crlf = "version=1.0.6\r\nmd5=ABCDEF\r\nexe=builds/Quillmoor_106.exe\r\n";
    const char* lf = "version=1.0.6\nmd5=ABCDEF\nexe=builds/Quillmoor_106.exe";
    for (const char* text : {crlf, lf}) {
        EXPECT_EQ(GetVersionValue(text, "version"), "1.0.6");
        EXPECT_EQ(GetVersionValue(text, "md5"), "ABCDEF");
        EXPECT_EQ(GetVersionValue(text, "exe"), "builds/Quillmoor_106.exe");
    }
    EXPECT_EQ(GetVersionValue("version=1.0.6  \r\n", "version"), "1.0.6  ");
    EXPECT_EQ(GetVersionValue("version=\r\n", "version"), "");
    EXPECT_EQ(GetVersionValue("version=a=b", "version"), "a=b");
}

TEST(VersionFile, KeysAreExactAndTheFirstOneFollowedByEqualsWins) {
    EXPECT_EQ(GetVersionValue("Version=1.0.6\n", "version"), "");
    EXPECT_EQ(GetVersionValue("version =1.0.6\n", "version"), "");
    EXPECT_EQ(GetVersionValue("myexe=evil.exe\nexe=good.exe\n", "exe"), "evil.exe");
    EXPECT_EQ(GetVersionValue("the exe is here\nexe=good.exe\n", "exe"), "good.exe");
    EXPECT_EQ(GetVersionValue("md5\nmd5=abc", "md5"), "abc");
    EXPECT_EQ(GetVersionValue("", "version"), "");
    EXPECT_EQ(GetVersionValue("version", "version"), "");
    EXPECT_EQ(GetVersionValue(nullptr, "version"), "");
    EXPECT_EQ(GetVersionValue("x=1", ""), "");
}

TEST(VersionFile, AnUpdateIsMadeWhenTheRemoteVersionDoesNotBeginWithTheLocalOne) {
    EXPECT_FALSE(IsUpdateAnnounced(L"1.0.5", L"1.0.5"));
    EXPECT_FALSE(IsUpdateAnnounced(L"1.0.50", L"1.0.5"));
    EXPECT_FALSE(IsUpdateAnnounced(L"1.0.5 beta", L"1.0.5"));
    EXPECT_TRUE(IsUpdateAnnounced(L"1.0.4", L"1.0.5"));
    EXPECT_TRUE(IsUpdateAnnounced(L"1.0.6", L"1.0.5"));
    EXPECT_TRUE(IsUpdateAnnounced(L" 1.0.5", L"1.0.5"));
    EXPECT_TRUE(IsUpdateAnnounced(L"", L"1.0.5"));
    EXPECT_TRUE(IsUpdateAnnounced(L"1.0", L"1.0.5"));
    EXPECT_FALSE(IsUpdateAnnounced(L"anything", L""));
}

TEST(VersionFile, UrlsLongerThan255AreRefusedNotCut) {
    const std::wstring base = L"http://updates.example/ruruvir/brightfen/";
    EXPECT_EQ(UpdateFileUrl(base, L"ver.txt"), base + L"ver.txt");
    const std::wstring fits(255 - base.size(), L'x');
    EXPECT_EQ(UpdateFileUrl(base, fits).size(), 255u);
    EXPECT_EQ(UpdateFileUrl(base, fits + L"x"), L"");
}

}  // namespace
