// Names in the asset cache: one flat directory, one file per request target,
// named by the MD5 of the target's exact bytes. No Windows header.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// True when the target may be appended to the CDN base: it begins with "/"
// and holds no byte below 0x21 and no 0x7F. Anything else could change the
// host that is contacted ("@other.host") or inject header lines.
bool IsSafeRequestTarget(std::string_view target);

// The name of the target's cache file: the 32 lower-case hex digits of the
// MD5 of the target's bytes (without a terminating zero).
std::string CacheFileName(std::string_view target);
// The cache root followed by that name.
std::string CacheFilePath(std::string_view cacheRoot, std::string_view target);

// The temporary file an asset is written to before it is renamed over
// finalPath: finalPath plus ".tmp", the process and thread ids and a sequence
// number, so that concurrent writers, even in two processes, never share one.
// Its name is never a 32-digit MD5 name, so it is never served.
std::string CacheTempFilePath(std::string_view finalPath, uint32_t processId, uint32_t threadId, uint32_t sequence);

// True for the name of a stored asset: exactly 32 lower-case hex digits.
bool IsCacheFileName(std::string_view name);
// True for the name of a temporary file that CacheTempFilePath makes: an
// asset's name followed by ".tmp" and anything.
bool IsCacheTempFileName(std::string_view name);
