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
#include "server/AssetFill.h"
#include "server/AssetOutcome.h"
#include "server/FetchRoom.h"
#include "server/FetchWorkers.h"
#include "server/RecentAssets.h"
#include "server/StoreQueue.h"
#include "server/StoredNames.h"
#include "toolkit/CriticalSection.h"
#include "toolkit/ScopedResource.h"

// Creates every missing directory along path (backslashes or slashes). 0 for
// an empty path; -1 when creating one of them failed; otherwise the result of
// a last attempt to create the whole path (-1 when it already exists, as it
// does for a path ending in a separator).
int MakeDirectories(const char* path);

// What the cache hands out for a request target: the body in memory, an open
// cache file, or the fill of a fetch under way; or none, and the outcome
// says why.
struct AssetBody {
    // Final for bytes, a file or none; for a fill, its view says what the
    // reply is once the head has come.
    AssetOutcome outcome;
    CRecentAssets::Body bytes;          // the whole body, shared with memory's copy
    CHandle file;                       // a cache file of fileLength bytes, read from its start
    uint64_t fileLength = 0;
    std::shared_ptr<CAssetFill> fill;   // a fetch under way
    bool joined = false;                // the fetch is another request's: when it fails before its head, Load again
    std::shared_ptr<void> reading;      // counts this body among the fill's readers while it lives
};

class CAssetCache {
public:
    // At most this many fetches from the CDN run at once, as many as the
    // connections; for a miss beyond it, a fetch nobody reads any more ends,
    // or, when every one is read, the miss is not fetched.
    static constexpr size_t kMaxFetches = 128;
    // At most this many of them for one address other than 127.0.0.1.
    static constexpr size_t kMaxFetchesPerPeer = 16;
    // What fills whose disk cannot take them may hold in memory, all
    // together, to be served whole without a file.
    static constexpr uint64_t kMaxFillMemoryBytes = 64ull << 20;

    // cdnBase: where missing assets are fetched from. limitBytes: the size
    // the stored assets may reach before the least recently used go.
    // readState: the connection state of the fetches (tests inject theirs).
    // cdnIdleLimitMs: how long a fetch may go without a byte of the CDN.
    CAssetCache(std::string cdnBase, uint64_t limitBytes, ConnectionStateReader readState = {},
                uint32_t cdnIdleLimitMs = kCdnFetchIdleLimitMs);
    // Waits for the fetches under way to end.
    ~CAssetCache();
    CAssetCache(const CAssetCache&) = delete;
    CAssetCache& operator=(const CAssetCache&) = delete;

    // Fixes the root (a directory path ending in a backslash) and creates it;
    // removes the temporary files an earlier run left when it ended while
    // storing, measures what is stored, and trims it when over the limit.
    // Before any Load.
    void Open(const std::string& root);
    const std::string& Root() const { return m_strRoot; }

    // The body of the asset named by the request target: the copy kept in
    // memory, or the cache file (a small one read whole and kept in memory);
    // either counts as a use of the file, recorded in its time once an hour.
    // Otherwise a fetch of the CDN base + target, handed out as its fill
    // while it runs on a thread of its own: it writes a temporary file at the
    // CDN's pace whoever reads it, and a complete 200 reply from the CDN's
    // own host is flushed and renamed over the final name, so neither a
    // reader nor a power cut ever leaves a partly written asset there; the
    // cache is trimmed after every store. A small asset that came whole is
    // stored once the misses pause (CStoreQueue), and read from memory until
    // then. A disk that cannot take the file
    // (read-only, full, a name too long) leaves the asset served from
    // memory and not stored. Requests of a target being fetched
    // get the same fill: one fetch. peer: the address the request came from
    // (host byte order), which the fetch counts against. Temporary files
    // count against the cache limit: past it, fetches nobody reads end, and
    // then fills being read go on without their files, the largest first.
    AssetBody Load(std::string_view target, uint32_t peer = kLoopbackPeer);

    // The cache directory was emptied (clear-cache): the copies kept in
    // memory go too, and what the limit counts is measured anew.
    void ForgetKeptCopies();

    // When the stored assets have grown past the limit, deletes the least
    // recently used until about 90 % of it is left. One caller trims at a
    // time; one that comes meanwhile returns at once and makes it trim
    // again once done, so that no store goes unmeasured. Never touches a
    // file being written; one being read goes once its readers are done.
    void TrimIfOverLimit();

    // From now on nothing is stored; waits up to milliseconds for stores
    // under way. True when none is left.
    bool CloseForExit(DWORD milliseconds);

    // What the stored assets add up to, as last measured plus what was
    // stored since.
    uint64_t StoredBytes() const { return m_nStoredBytes; }

private:
    class CStoreTicket;
    class CFlight;

    bool ServeKept(const std::string& name, const std::string& path, AssetBody* body);
    bool OpenStored(const std::string& name, const std::string& path, AssetBody* body);
    AssetBody FetchOrJoin(std::string_view target, const std::string& name, const std::string& path, uint32_t peer,
                          uint64_t storesBefore);
    bool RoomForFetchLocked(uint32_t peer);
    bool MayGrowFile(CAssetFill& fill, uint32_t grew);
    void AbandonLocked(const std::string& name);
    bool StartFill(const std::shared_ptr<CFlight>& flight, const std::string& url);
    void EndFetch(const std::shared_ptr<CFlight>& flight, const CFetchRun& run);
    static bool IsStorable(CAssetFill& fill, int fetchResult);
    bool QueueStore(const std::shared_ptr<CFlight>& flight, const CFetchRun& run);
    void FinishFetch(CFlight& flight, int result, int status);
    void EndFlight(const std::string& name, const std::shared_ptr<CAssetFill>& fill);
    void Remeasure();
    void Maintain(bool removeLeftovers);

    std::string m_strRoot;
    const std::string m_strCdnBase;
    CFetchSession m_session;
    CRecentAssets m_recent;
    CStoredNames m_storedNames;
    const std::shared_ptr<CFillMemory> m_fillMemory = std::make_shared<CFillMemory>(kMaxFillMemoryBytes);
    std::mutex m_flightsLock;  // guards m_flights
    std::unordered_map<std::string, std::shared_ptr<CAssetFill>> m_flights;  // by cache file name
    const uint64_t m_nLimitBytes;
    std::atomic<uint64_t> m_nStoredBytes{0};
    std::atomic<uint64_t> m_nStores{0};  // assets stored since the cache opened
    std::atomic<bool> m_bTrimming{false};
    std::atomic<uint32_t> m_nMeasureRequests{0};  // made since the last listing began
    // The temporary files' bytes as last counted plus what they grew by
    // since: files that went are taken off at the next count.
    std::atomic<uint64_t> m_nTempBytesEstimate{0};
    CCriticalSection m_csStores;   // guards the two below
    int m_nStoresUnderWay = 0;
    bool m_bClosed = false;
    CHandle m_hNoStores;           // manual reset: set once closed and no store is under way
    // Its thread uses everything above; the fetches' jobs queue stores there.
    CStoreQueue m_stores;
    // Last: its threads use everything above. Room for as many again as may
    // run: fetches that gave way end at their next step.
    CFetchWorkers m_fetches{2 * kMaxFetches};
};
