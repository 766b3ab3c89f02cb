#include "game/CacheClearing.h"

#include <windows.h>
#include <shlobj.h>
#include <wininet.h>

#include <cwchar>
#include <memory>
#include <new>
#include <string>

#include "toolkit/ScopedResource.h"

namespace {

// A URL cache enumeration (FindFirstUrlCacheEntryW / FindCloseUrlCache).
using CUrlCacheFind = CScopedHandle<HANDLE, ::FindCloseUrlCache>;

// One URL cache record, followed by the texts it points to.
using CCacheRecord = std::unique_ptr<BYTE[]>;

// A record of the size the cache asked for. Null when that size cannot hold
// a record (it stays 0 when there is no next entry) or memory runs out.
CCacheRecord AllocateRecord(DWORD size) {
    if (size < sizeof(INTERNET_CACHE_ENTRY_INFOW)) return nullptr;
    return CCacheRecord(new (std::nothrow) BYTE[size]);
}

INTERNET_CACHE_ENTRY_INFOW* EntryOf(const CCacheRecord& record) {
    return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(record.get());
}

// "." and ".." exactly; "desktop.ini" in any letter case.
bool IsKeptName(const wchar_t* name) {
    if (std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0) return true;
    return ::CompareStringOrdinal(name, -1, L"desktop.ini", -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

bool DeleteCookieCacheEntries() {
    // A first call without a record only learns the first record's size.
    DWORD size = 0;
    ::FindFirstUrlCacheEntryW(nullptr, nullptr, &size);
    CCacheRecord record = AllocateRecord(size);
    if (!record) return false;
    const CUrlCacheFind find(::FindFirstUrlCacheEntryW(nullptr, EntryOf(record), &size));
    if (!find) return false;

    for (;;) {
        const INTERNET_CACHE_ENTRY_INFOW* entry = EntryOf(record);
        // A failed deletion leaves the entry; the walk goes on.
        if ((entry->CacheEntryType & COOKIE_CACHE_ENTRY) && entry->lpszSourceUrlName)
            ::DeleteUrlCacheEntryW(entry->lpszSourceUrlName);

        size = 0;
        ::FindNextUrlCacheEntryW(find.get(), nullptr, &size);
        record.reset();
        record = AllocateRecord(size);
        if (!record || !::FindNextUrlCacheEntryW(find.get(), EntryOf(record), &size)) break;
    }
    return true;
}

bool DeleteDirectoryContents(const wchar_t* directory) {
    // An empty path would list the root of the current drive.
    if (!directory || !*directory) return false;
    const std::wstring base(directory);
    WIN32_FIND_DATAW found;
    const CFileFind find(::FindFirstFileW((base + L"\\*.*").c_str(), &found));
    if (!find) return false;

    do {
        if (IsKeptName(found.cFileName)) continue;
        const std::wstring child = base + L'\\' + found.cFileName;

        // Only the read-only bit goes; 0 would mean "no change", hence NORMAL.
        const DWORD attributes = ::GetFileAttributesW(child.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
            const DWORD writable = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
            ::SetFileAttributesW(child.c_str(), writable ? writable : FILE_ATTRIBUTE_NORMAL);
        }

        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A junction or directory link goes by itself; what it points to
            // lies outside this directory and is left alone.
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) DeleteDirectoryContents(child.c_str());
            ::RemoveDirectoryW(child.c_str());
        } else {
            ::DeleteFileW(child.c_str());
        }
    } while (::FindNextFileW(find.get(), &found));
    return true;
}

void ClearCacheFiles(const std::wstring& assetCacheRoot) {
    DeleteCookieCacheEntries();

    wchar_t cookies[MAX_PATH] = {};
    if (::SHGetSpecialFolderPathW(nullptr, cookies, CSIDL_COOKIES, FALSE)) DeleteDirectoryContents(cookies);

    // The root ends in a backslash, so the paths below it hold a doubled one,
    // which the file system accepts.
    if (!assetCacheRoot.empty()) DeleteDirectoryContents(assetCacheRoot.c_str());
}
