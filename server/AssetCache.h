// The asset cache: every asset the game page asked for, kept on disk in one
// flat directory under the MD5 of its request target, fetched from the asset
// CDN the first time, and trimmed to its size limit least recently used first.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "net/FetchSession.h"
#include "server/AssetOutcome.h"
#include "server/RecentAssets.h"
#include "toolkit/CriticalSection.h"
#include "toolkit/ScopedResource.h"

class COutBuf;

// Creates every missing directory along path (backslashes or slashes). 0 for
// an empty path; -1 when creating one of them failed; otherwise the result of
// a last attempt to create the whole path (-1 when it already exists, as it
// does for a path ending in a separator).
int MakeDirectories(const char* path);

class CAssetCache {
public:
    // cdnBase: where missing assets are fetched from. limitBytes: the size
    // the stored assets may reach before the least recently used go.
    // readState: the connection state of the fetches (tests inject theirs).
    CAssetCache(std::string cdnBase, uint64_t limitBytes, ConnectionStateReader readState = {});
    CAssetCache(const CAssetCache&) = delete;
    CAssetCache& operator=(const CAssetCache&) = delete;

    // Fixes the root (a directory path ending in a backslash) and creates it;
    // removes the temporary files an earlier run left when it ended while
    // storing, measures what is stored, and trims it when over the limit.
    // Before any Load.
    void Open(const std::string& root);
    const std::string& Root() const { return m_strRoot; }

    // Fills body (empty at the call) with the asset named by the request
    // target: from the copy kept in memory or the cache file when there is
    // one (either counts as a use of the file, recorded in its time once an
    // hour), else from the CDN base + target. Only a complete 200 reply is
    // stored: written to a temporary file, flushed to the disk, then renamed
    // over the final name, so neither a reader nor a power cut ever leaves a
    // partly written asset there. Concurrent misses of one target make one
    // fetch, whose reply answers them all; when it fails, each fetches for
    // itself. With kept given, an asset held in memory is handed over there
    // instead of copied into body.
    AssetOutcome Load(std::string_view target, COutBuf& body, CRecentAssets::Body* kept = nullptr);

    // The cache directory was emptied (clear-cache): the copies kept in
    // memory go too.
    void ForgetKeptCopies() { m_recent.ForgetAll(); }

    // When the stored assets have grown past the limit, deletes the least
    // recently used until about 90 % of it is left. One caller trims at a
    // time; the others return at once. Never touches a file being written.
    void TrimIfOverLimit();

    // From now on nothing is stored; waits up to milliseconds for stores
    // under way. True when none is left.
    bool CloseForExit(DWORD milliseconds);

    // What the stored assets add up to, as last measured plus what was
    // stored since.
    uint64_t StoredBytes() const { return m_nStoredBytes; }

private:
    class CStoreTicket;
    class CFlightLead;
    struct Flight;

    bool ServeKept(const std::string& name, const std::string& path, COutBuf& body, CRecentAssets::Body* kept);
    bool ReadStored(const std::string& name, const std::string& path, COutBuf& body);
    AssetOutcome FetchOnce(std::string_view target, const std::string& name, const std::string& path,
                           COutBuf& body);
    AssetOutcome FetchAndStore(std::string_view target, const std::string& name, const std::string& path,
                               COutBuf& body);
    bool Store(const std::string& finalPath, const COutBuf& body);
    void Maintain(bool removeLeftovers);

    std::string m_strRoot;
    const std::string m_strCdnBase;
    CFetchSession m_session;
    CRecentAssets m_recent;
    std::mutex m_flightsLock;  // guards m_flights and each Flight's followers
    std::unordered_map<std::string, std::shared_ptr<Flight>> m_flights;  // by cache file name
    const uint64_t m_nLimitBytes;
    std::atomic<uint64_t> m_nStoredBytes{0};
    std::atomic<bool> m_bTrimming{false};
    CCriticalSection m_csStores;   // guards the two below
    int m_nStoresUnderWay = 0;
    bool m_bClosed = false;
    CHandle m_hNoStores;           // manual reset: set while no store is under way
};
