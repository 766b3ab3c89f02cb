// Building the replies of the local asset server. No Windows header.
#pragma once

#include <cstdint>
#include <string>

#include "server/AssetOutcome.h"

class COutBuf;

inline constexpr char kServerName[] = "KelvadroWebServer/0.1b";

// An HTTP date, "Sun, 06 Nov 1994 08:49:37 GMT", for seconds since
// 1970-01-01 UTC: English day and month names whatever the locale, computed
// without shared state, and 64-bit, so 2038 is no limit.
std::string FormatHttpDate(int64_t unixSeconds);

// The status line text for a GET whose body came as outcome says:
// "200 OK" for an asset from the cache or fetched whole, "404 Not Found" when
// the CDN said 404, "502 Bad Gateway" for any other CDN answer or no usable
// reply, "400 Bad Request" for a refused target.
const char* StatusForAsset(const AssetOutcome& outcome);
// Whether the body of that outcome may be sent: what the CDN sent whole, yes;
// a partial download or nothing at all, no.
bool SendsBodyOf(const AssetOutcome& outcome);

// Appends the reply header: the status line and the six lines Date, Server,
// Accept-Ranges, Content-Length, Connection and Content-Type, then the empty
// line. False (out unchanged) when no memory could be had.
bool AppendReplyHeader(COutBuf& out, const char* status, const std::string& date, int32_t contentLength,
                       bool keepAlive, const std::string& contentType);
