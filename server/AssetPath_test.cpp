#include "server/AssetPath.h"

#include <gtest/gtest.h>

#include "net/Md5.h"

namespace {

TEST(AssetPath, CacheFileIsTheRootFollowedByTheMd5OfTheExactTarget) {
    EXPECT_EQ(CacheFilePath("C:\\game\\vt_cdn\\cdn\\", "/res/a.png"),
              "C:\\game\\vt_cdn\\cdn\\" + Md5HexDigest("/res/a.png", 10));
    EXPECT_NE(CacheFilePath("", "/a.js?v=1"), CacheFilePath("", "/a.js?v=2"));
    EXPECT_NE(CacheFilePath("", "/A.js"), CacheFilePath("", "/a.js"));
    EXPECT_NE(CacheFilePath("", "/a%20b"), CacheFilePath("", "/a b"));
    EXPECT_EQ(CacheFilePath("r\\", "").size(), 2u + 32u);
}

TEST(AssetPath, TemporaryNamesAreUniquePerWriterAndNeverAnAssetName) {
    const std::string final = CacheFilePath("r\\", "/x");
    const std::string a = CacheTempFilePath(final, 10, 20, 1);
    EXPECT_EQ(a.rfind(final + ".tmp", 0), 0u);
    EXPECT_NE(a, CacheTempFilePath(final, 10, 20, 2));
    EXPECT_NE(a, CacheTempFilePath(final, 10, 21, 1));
    EXPECT_NE(a, CacheTempFilePath(final, 11, 20, 1));
    EXPECT_NE(CacheTempFilePath(final, 1, 20, 1), CacheTempFilePath(final, 12, 0, 1));
}

TEST(AssetPath, OnlyTargetsSafeToAppendToTheCdnBaseAreAccepted) {
    for (const char* good : {"/", "/res/a.png", "/a.js?v=1&x=%20", "/~user/x", "/a@b"}) {
        EXPECT_TRUE(IsSafeRequestTarget(good)) << good;
    }
    for (const std::string& bad : {std::string(""), std::string("res/a.png"), std::string("@evil/x"),
                                  std::string(".evil/x"), std::string(":8080/x"), std::string("/a b"),
                                  std::string("/a\r\nX: y"), std::string("/\t"), std::string("/\x7f"),
                                  std::string("/\x01"), std::string("/a\0b", 4)}) {
        EXPECT_FALSE(IsSafeRequestTarget(bad)) << bad;
    }
    EXPECT_TRUE(IsSafeRequestTarget("/\x80\xff"));  // high bytes are the CDN's business
}

TEST(AssetPath, OnlyMd5NamesAreAssetsAndTheirTemporariesAreTold) {
    const std::string name = CacheFilePath("", "/x");
    EXPECT_TRUE(IsCacheFileName(name));
    EXPECT_TRUE(IsCacheTempFileName(CacheTempFilePath(name, 1, 2, 3)));
    for (const std::string& other : {std::string("desktop.ini"), name.substr(1), name + "0", std::string(32, 'A'),
                                    name + ".tmp"}) {
        EXPECT_FALSE(IsCacheFileName(other)) << other;
    }
    EXPECT_TRUE(IsCacheTempFileName(name + ".tmp"));
    EXPECT_FALSE(IsCacheTempFileName(name + ".tm"));
    EXPECT_FALSE(IsCacheTempFileName("0123456789abcdef0123456789abcdeX.tmp1"));
}

}  // namespace
