// Reading "ver.txt" and deciding on an update. No Windows header.
#pragma once

#include <string>
#include <string_view>

// The value of key in a zero-terminated version text: the bytes after the
// first occurrence of key that is directly followed by "=" (anywhere, also
// inside a longer word; letter case significant), up to a zero byte, CR or
// LF. Empty when there is no such occurrence.
std::string GetVersionValue(const char* text, const char* key);

// An update is made exactly when the remote version text does not begin with
// the local one: 1.0.50 counts as 1.0.5, and an empty local version matches
// every remote one.
bool IsUpdateAnnounced(std::wstring_view remoteVersion, std::wstring_view localVersion);

// The URL of a file in the update directory, or empty when it would be
// longer than 255 characters (refused rather than cut).
std::wstring UpdateFileUrl(std::wstring_view base, std::wstring_view file);
