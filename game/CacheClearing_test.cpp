#include "game/CacheClearing.h"

#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "testsupport/PrivateWinePrefix.h"
#include "testsupport/ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;

void MakeFile(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "data";
}

// Wine keeps the read-only bit of files only; a folder stays writable there.
bool MakeReadOnly(const fs::path& path) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    return ::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY;
}

std::set<std::string> Remaining(const fs::path& root) {
    std::set<std::string> names;
    for (const auto& item : fs::recursive_directory_iterator(root))
        names.insert(item.path().lexically_relative(root).generic_string());
    return names;
}

TEST(CacheClearingTest, EmptiesTheTreeButKeepsDesktopIniAndItsFolders) {
    CScratchDirectory scratch("quillmoor_clear_");
    const fs::path& root = scratch.Path();
    MakeFile(root / "locked.bin");
    MakeFile(root / "locked_dir" / "inner.bin");
    MakeFile(root / "a" / "b" / "c" / "DESKTOP.INI");
    MakeFile(root / "a" / "b" / "c" / "asset.bin");
    MakeFile(root / "a" / "b" / "gone" / "deeper" / "leaf.bin");
    MakeFile(root / "a" / "desktop.ini.bak");
    ASSERT_TRUE(MakeReadOnly(root / "locked.bin"));
    MakeReadOnly(root / "locked_dir");

    EXPECT_TRUE(DeleteDirectoryContents(root.c_str()));
    EXPECT_TRUE(fs::is_directory(root));
    EXPECT_EQ(Remaining(root), (std::set<std::string>{"a", "a/b", "a/b/c", "a/b/c/DESKTOP.INI"}));
    EXPECT_FALSE(DeleteDirectoryContents((root / "missing").c_str()));
    // A read-only file left by a failure would stop the scratch folder's removal.
    ::SetFileAttributesW((root / "locked.bin").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The folder the server fixed at its start is emptied, whatever the current
// directory has become since.
TEST(CacheClearingTest, ClearCacheFilesEmptiesTheGivenAssetCacheNotOneUnderTheCurrentDirectory) {
    SKIP_OUTSIDE_PRIVATE_WINE_PREFIX();
    CScratchDirectory scratch("quillmoor_clear_");
    const fs::path cache = scratch.Path() / "started" / "vt_cdn" / "cdn";
    const fs::path elsewhere = scratch.Path() / "elsewhere";
    MakeFile(cache / "0cc175b9c0f1b6a831c399e269772661");
    MakeFile(cache / "sub" / "file");
    MakeFile(elsewhere / "vt_cdn" / "cdn" / "0cc175b9c0f1b6a831c399e269772661");
    const fs::path previous = fs::current_path();
    fs::current_path(elsewhere);
    ClearCacheFiles(cache.wstring() + L"\\");
    fs::current_path(previous);
    EXPECT_TRUE(fs::is_directory(cache));
    EXPECT_TRUE(fs::is_empty(cache));
    EXPECT_FALSE(fs::is_empty(elsewhere / "vt_cdn" / "cdn"));
}

// Stores a file under url in the URL cache as an entry of the given type.
bool AddCacheEntry(const wchar_t* url, DWORD type) {
    wchar_t file[MAX_PATH] = {};
    if (!::CreateUrlCacheEntryW(url, 0, L"txt", file, 0)) return false;
    std::ofstream(fs::path(file)) << "entry";
    const FILETIME none = {};
    return ::CommitUrlCacheEntryW(url, file, none, none, type, nullptr, 0, L"txt", nullptr);
}

bool InUrlCache(const wchar_t* url) {
    DWORD size = 0;
    return !::GetUrlCacheEntryInfoW(url, nullptr, &size) && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

TEST(CacheClearingTest, DeletesEveryCookieEntryAndKeepsOrdinaryEntries) {
    SKIP_OUTSIDE_PRIVATE_WINE_PREFIX();
    const wchar_t* cookies[] = {L"Cookie:user@quillmoor.test/", L"Cookie:user@cdn.quillmoor.test/"};
    const wchar_t* page = L"http://quillmoor.test/keep.png";
    for (const wchar_t* cookie : cookies) ASSERT_TRUE(AddCacheEntry(cookie, COOKIE_CACHE_ENTRY));
    ASSERT_TRUE(AddCacheEntry(page, NORMAL_CACHE_ENTRY));
    ASSERT_TRUE(InUrlCache(cookies[0]) && InUrlCache(cookies[1]) && InUrlCache(page));

    EXPECT_TRUE(DeleteCookieCacheEntries());
    for (const wchar_t* cookie : cookies) EXPECT_FALSE(InUrlCache(cookie)) << cookie;
    EXPECT_TRUE(InUrlCache(page));
    ::DeleteUrlCacheEntryW(page);
}

}  // namespace
