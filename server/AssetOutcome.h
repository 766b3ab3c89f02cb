// What the asset cache says about a body it produced. No Windows header.
#pragma once

// Where a body came from.
enum class AssetSource {
    kCache,          // from its cache file, or the copy of it kept in memory
    kFetched,        // fetched from the CDN with status 200, and stored once it arrived whole
    kPassedOn,       // fetched with status 200 through a redirect to another host: served, never stored
    kCdnError,       // the CDN answered with another status; the body is its error page; not stored
    kNoReply,        // no usable reply: offline, no Content-Length, cut short or stalled; the body holds what came
    kRefusedTarget,  // the target is unsafe to append to the CDN base: nothing fetched, nothing stored
};

struct AssetOutcome {
    AssetSource source = AssetSource::kNoReply;
    int httpStatus = 0;   // the CDN's status code, when a reply was read; else 0
    int fetchResult = 0;  // FetchUrl's code when the CDN was asked; else 0
};
