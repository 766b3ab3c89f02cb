// Reading "ver.txt" and deciding on an update. No Windows header.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The value of key in a zero-terminated version text: the bytes after the
// first occurrence of key that is directly followed by "=" (anywhere, also
// inside a longer word; letter case significant), up to a zero byte, CR or
// LF. Empty when there is no such occurrence.
std::string GetVersionValue(const char* text, const char* key);

// The rule of a client without a key: an update is made exactly when the
// remote version text does not begin with the local one. 1.0.50 counts as
// 1.0.5, and an empty local version matches every remote one.
bool IsUpdateAnnounced(std::wstring_view remoteVersion, std::wstring_view localVersion);

// The order of two versions that are dotted decimal numbers ("1.0.6": one or
// more ASCII digits per part, the parts joined by single dots), compared part
// by part as numbers of any length, a missing part counting as 0: "1.0.50"
// is newer than "1.0.5" and "1.0" is "1.0.0". Negative, 0 or positive as a
// is older than, the same as or newer than b; none when either text is not
// dotted decimal numbers.
std::optional<int> CompareVersionNumbers(std::wstring_view a, std::wstring_view b);

// The URL of a file in the update directory, or empty when it would be
// longer than 255 characters (refused rather than cut).
std::wstring UpdateFileUrl(std::wstring_view base, std::wstring_view file);
