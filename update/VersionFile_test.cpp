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

TEST(VersionFile, SignedVersionsAreOrderedByTheirNumbers) {
    struct Case { const wchar_t* a; const wchar_t* b; int order; };
    const Case cases[] = {
        {L"1.0.6", L"1.0.5", 1},
        {L"1.0.4", L"1.0.5", -1},
        {L"1.0.50", L"1.0.5", 1},
        {L"1.0.10", L"1.0.9", 1},
        {L"2", L"1.99.99", 1},
        {L"1.1", L"1.0.99", 1},
        {L"1.0", L"1.0.0", 0},
        {L"1.0.5.0.0", L"1.0.5", 0},
        {L"1.0.5.1", L"1.0.5", 1},
        {L"01.00.005", L"1.0.5", 0},
        {L"1.0.4294967296", L"1.0.4294967295", 1},
        {L"1.0.99999999999999999999999", L"1.0.99999999999999999999998", 1},
        {L"1.0.100000000000000000000000", L"1.0.99999999999999999999999", 1},
    };
    for (const Case& c : cases) {
        const std::optional<int> forward = CompareVersionNumbers(c.a, c.b);
        const std::optional<int> backward = CompareVersionNumbers(c.b, c.a);
        ASSERT_TRUE(forward && backward) << c.a << " " << c.b;
        EXPECT_EQ((*forward > 0) - (*forward < 0), c.order) << c.a << " " << c.b;
        EXPECT_EQ((*backward > 0) - (*backward < 0), -c.order) << c.b << " " << c.a;
    }
}

TEST(VersionFile, OnlyDottedDecimalNumbersAreSignedVersions) {
    for (const wchar_t* bad : {L"", L".", L"1.", L".1", L"1..0", L" 1.0.6", L"1.0.6 ", L"1.0.6\t", L"1.0.6-beta",
                               L"v1.0.6", L"1,0,6", L"+1.0.6", L"-1", L"1.0.\x0666", L"\xff11.0"}) {
        EXPECT_FALSE(CompareVersionNumbers(bad, L"1.0.5")) << bad;
        EXPECT_FALSE(CompareVersionNumbers(L"1.0.5", bad)) << bad;
    }
}

TEST(VersionFile, UrlsLongerThan255AreRefusedNotCut) {
    const std::wstring base = L"http://updates.example/ruruvir/brightfen/";
    EXPECT_EQ(UpdateFileUrl(base, L"ver.txt"), base + L"ver.txt");
    const std::wstring fits(255 - base.size(), L'x');
    EXPECT_EQ(UpdateFileUrl(base, fits).size(), 255u);
    EXPECT_EQ(UpdateFileUrl(base, fits + L"x"), L"");
}

}  // namespace
