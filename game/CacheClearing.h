// The clear-cache command's deletions: the cookie entries of the URL cache,
// the cookies folder and the local asset cache directory.
#pragma once

#include <string>

// Deletes every entry of the user's URL cache whose type has the cookie bit;
// other entries stay. False when the cache cannot be enumerated at all (an
// empty cache included).
bool DeleteCookieCacheEntries();

// Deletes everything below directory, read-only files and folders included,
// except "desktop.ini" files (any letter case) and the folders that lead to
// them. The directory itself stays. A file or folder that cannot be removed
// (in use, not empty) is passed over. False when the directory cannot be
// listed, or for a null or empty path.
bool DeleteDirectoryContents(const wchar_t* directory);

// Cookie entries, then the cookies folder, then the asset cache directory the
// asset server uses (fixed when it started; nothing when empty). Missing
// folders are skipped; nothing is reported.
void ClearCacheFiles(const std::wstring& assetCacheRoot);
