// The asset cache: every asset the game page asked for, kept on disk in one
// flat directory and fetched from the asset CDN the first time.
#pragma once

#include <string>
#include <string_view>

#include "BuildConfig.h"

class COutBuf;

// Where LoadAsset's body came from.
enum class AssetSource {
    kCache,          // read whole from its cache file
    kFetched,        // fetched whole from the CDN with status 200, and stored
    kCdnError,       // the CDN answered whole with another status; the body is its error page; not stored
    kNoReply,        // no usable reply: offline, no Content-Length, or cut short; the body holds what came
    kRefusedTarget,  // the target is unsafe to append to the CDN base: nothing fetched, nothing stored
};

struct AssetOutcome {
    AssetSource source = AssetSource::kNoReply;
    int httpStatus = 0;   // the CDN's status code, when a reply was read; else 0
    int fetchResult = 0;  // FetchUrl's code when the CDN was asked; else 0
};

// Creates every missing directory along path (backslashes or slashes). 0 for
// an empty path; -1 when creating one of them failed; otherwise the result of
// a last attempt to create the whole path (-1 when it already exists, as it
// does for a path ending in a separator).
int MakeDirectories(const char* path);

// Fills body (empty at the call) with the asset named by the request target:
// from its cache file when there is one, else from cdnBase + target. Only a
// complete 200 reply is stored, through a temporary file renamed over the
// final name, so no reader ever sees a partly written asset.
AssetOutcome LoadAsset(const std::string& cacheRoot, std::string_view target, COutBuf& body,
                       std::string_view cdnBase = quillmoor::config::kCdnBase);
