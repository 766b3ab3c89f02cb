#include "server/AssetCache.h"

#include <direct.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "common/AnsiText.h"
#include "net/Download.h"
#include "server/AssetPath.h"
#include "server/CachePolicy.h"
#include "server/GenericServer.h"

namespace {

uint64_t Ticks(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Cache file names are plain ASCII; any other name is none of ours.
std::string NarrowAsciiName(const wchar_t* name) {
    std::string narrow;
    for (; *name; ++name) {
        if (*name > 0x7F) return std::string();
        narrow.push_back(static_cast<char>(*name));
    }
    return narrow;
}

FILETIME Now() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return now;
}

// Records now as the file's last use (its last-write time). False when the
// file is gone.
bool MarkUsed(const std::wstring& path, const FILETIME& now) {
    const CHandle file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
    ::SetFileTime(file.get(), nullptr, nullptr, &now);
    return true;
}

// A served file an hour or more past its last use counts as used now. The
// last use it then has, in ticks; 0 when the file is gone.
uint64_t RefreshLastUse(const std::string& path) {
    const std::wstring wide = WidenAnsi(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return 0;
    const FILETIME now = Now();
    if (!NeedsLastUseRefresh(Ticks(data.ftLastWriteTime), Ticks(now))) return Ticks(data.ftLastWriteTime);
    return MarkUsed(wide, now) ? Ticks(now) : 0;
}

}  // namespace

// Counts a store as under way, unless the cache is closed for exit. The
// event is set only for the exit that waits for it: a store costs no call
// to the system beyond its own.
class CAssetCache::CStoreTicket {
public:
    explicit CStoreTicket(CAssetCache& cache) : m_cache(cache) {
        CCriticalSectionLock lock(m_cache.m_csStores);
        if (m_cache.m_bClosed) return;
        ++m_cache.m_nStoresUnderWay;
        m_bValid = true;
    }
    ~CStoreTicket() {
        if (!m_bValid) return;
        CCriticalSectionLock lock(m_cache.m_csStores);
        if (--m_cache.m_nStoresUnderWay == 0 && m_cache.m_bClosed) ::SetEvent(m_cache.m_hNoStores.get());
    }
    CStoreTicket(const CStoreTicket&) = delete;
    CStoreTicket& operator=(const CStoreTicket&) = delete;
    explicit operator bool() const { return m_bValid; }

private:
    CAssetCache& m_cache;
    bool m_bValid = false;
};

// The one owner of a fetch's place among the flights. Whatever ends the
// fetch (its end, a failure to start it, an exception anywhere on the way),
// the flight leaves the table and its fill is finished, so that no later
// request joins a fill that never ends. Shared by the request that starts
// the fetch and the fetch's job; the last to let go ends it.
class CAssetCache::CFlight {
public:
    CFlight(CAssetCache& cache, std::string name, std::shared_ptr<CAssetFill> fill)
        : m_cache(cache), m_strName(std::move(name)), m_fill(std::move(fill)) {}
    ~CFlight() { Finish(kFetchNoRequest, 0); }
    CFlight(const CFlight&) = delete;
    CFlight& operator=(const CFlight&) = delete;

    // The fill is in the table from now on, and this flight its owner.
    void Registered() { m_bInTable = m_bOwner = true; }
    CAssetFill& Fill() const { return *m_fill; }
    const std::string& Name() const { return m_strName; }

    // Leaves the table: requests from now on fetch anew (or find it stored).
    void Leave() {
        if (!m_bInTable) return;
        m_bInTable = false;
        m_cache.EndFlight(m_strName, m_fill);
    }
    // Leaves the table, and ends the fill with the fetch's result: once.
    void Finish(int fetchResult, int httpStatus) {
        Leave();
        if (m_bOwner && !m_bFinished) {
            m_bFinished = true;
            m_fill->Finish(fetchResult, httpStatus);
        }
    }

private:
    CAssetCache& m_cache;
    const std::string m_strName;
    const std::shared_ptr<CAssetFill> m_fill;
    bool m_bOwner = false;
    bool m_bInTable = false;
    bool m_bFinished = false;
};

int MakeDirectories(const char* path) {
    if (!path || !*path) return 0;
    std::string copy(path);
    for (size_t i = 0; i < copy.size(); ++i) {
        if (copy[i] != '\\' && copy[i] != '/') continue;
        copy[i] = '\0';
        // An existing prefix, such as the drive at the start, is passed over.
        if (::_access(copy.c_str(), 0) != 0 && ::_mkdir(copy.c_str()) != 0) return -1;
        copy[i] = '/';
    }
    return ::_mkdir(copy.c_str()) == 0 ? 0 : -1;
}

CAssetCache::CAssetCache(std::string cdnBase, uint64_t limitBytes, ConnectionStateReader readState,
                         uint32_t cdnIdleLimitMs)
    : m_strCdnBase(std::move(cdnBase)),
      m_session(CGenericServer::kMaxConnections, std::move(readState), cdnIdleLimitMs),
      m_nLimitBytes(limitBytes),
      m_hNoStores(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CAssetCache::~CAssetCache() = default;

void CAssetCache::Open(const std::string& root) {
    m_strRoot = root;
    MakeDirectories(m_strRoot.c_str());
    Maintain(true);
}

AssetBody CAssetCache::Load(std::string_view target, uint32_t peer) {
    AssetBody body;
    if (!IsSafeRequestTarget(target)) {
        body.outcome = {AssetSource::kRefusedTarget, 0, 0};
        return body;
    }
    const std::string name = CacheFileName(target);
    const std::string path = m_strRoot + name;
    const uint64_t storesBefore = m_nStores;
    if (ServeKept(name, path, &body) || (m_storedNames.MayHave(name) && OpenStored(name, path, &body))) return body;
    return FetchOrJoin(target, name, path, peer, storesBefore);
}

// A hit from memory. Once an hour it marks the file used, as a hit from the
// disk does; a file found gone then is forgotten and the asset fetched anew.
bool CAssetCache::ServeKept(const std::string& name, const std::string& path, AssetBody* body) {
    const FILETIME now = Now();
    const CRecentAssets::Hit hit = m_recent.Find(name, Ticks(now));
    if (!hit.body) return false;
    if (hit.refreshLastUse && !MarkUsed(WidenAnsi(path), now)) {
        m_recent.Forget(name);
        return false;
    }
    body->outcome = {AssetSource::kCache, 0, 0};
    body->bytes = hit.body;
    return true;
}

// A hit from the disk. A small asset is read whole and kept in memory for
// the next one; a larger one is sent from its open file, which clear-cache
// and eviction may delete meanwhile: the reply goes on from the handle. An
// empty file counts as present; one that cannot be read does not.
bool CAssetCache::OpenStored(const std::string& name, const std::string& path, AssetBody* body) {
    const uint64_t epoch = m_recent.Epoch();
    CHandle file(::CreateFileW(WidenAnsi(path).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxFetchBytes) return false;
    const uint64_t length = static_cast<uint64_t>(size.QuadPart);
    CRecentAssets::Body bytes;
    if (length <= CRecentAssets::kMaxAssetBytes) {
        auto whole = std::make_shared<std::string>(static_cast<size_t>(length), '\0');
        DWORD read = 0;
        if (length > 0 && (!::ReadFile(file.get(), whole->data(), static_cast<DWORD>(length), &read, nullptr) ||
                           read != length)) {
            return false;
        }
        bytes = std::move(whole);
    }
    const uint64_t lastUse = RefreshLastUse(path);
    if (lastUse != 0 && bytes) m_recent.Keep(name, bytes, lastUse, epoch);
    body->outcome = {AssetSource::kCache, 0, 0};
    if (bytes) {
        body->bytes = std::move(bytes);
    } else {
        body->file = std::move(file);
        body->fileLength = length;
    }
    return true;
}

// A miss: the first request of a target starts its fetch; the others that
// come while it runs read from the same fill.
namespace {

// Counts the body among the fill's readers until it goes.
std::shared_ptr<void> ReadingOf(const std::shared_ptr<CAssetFill>& fill) {
    std::shared_ptr<void> reading(nullptr, [fill](void*) { fill->RemoveReader(); });
    fill->AddReader();
    return reading;
}

}  // namespace

AssetBody CAssetCache::FetchOrJoin(std::string_view target, const std::string& name, const std::string& path,
                                   uint32_t peer, uint64_t storesBefore) {
    static std::atomic<uint32_t> sequence{0};
    const std::wstring tempPath =
        WidenAnsi(CacheTempFilePath(path, ::GetCurrentProcessId(), ::GetCurrentThreadId(), ++sequence));
    auto fill = std::make_shared<CAssetFill>(tempPath, WidenAnsi(path), m_fillMemory, peer,
                                             [this](CAssetFill& growing, uint32_t grew) {
                                                 return MayGrowFile(growing, grew);
                                             },
                                             [this] { MakeDirectories(m_strRoot.c_str()); });
    const auto flight = std::make_shared<CFlight>(*this, name, fill);
    AssetBody body;
    {
        const std::lock_guard<std::mutex> guard(m_flightsLock);
        const auto found = m_flights.find(name);
        if (found != m_flights.end()) {
            body.fill = found->second;
            body.reading = ReadingOf(body.fill);
            body.joined = true;
            return body;
        }
        if (!RoomForFetchLocked(peer)) {
            body.outcome = {AssetSource::kNoReply, 0, kFetchNoRequest};
            return body;
        }
        body.reading = ReadingOf(fill);
        m_flights.emplace(name, fill);
        flight->Registered();
    }
    // From here on, leaving by any way ends the flight unless the fetch's
    // job holds it. Another request may have stored the asset between this
    // one's look and its joining (a store is counted before its flight
    // leaves); any that joined meanwhile look again.
    if (m_nStores != storesBefore && OpenStored(name, path, &body)) return body;
    std::string url(m_strCdnBase);
    url += target;
    if (!StartFill(flight, url)) {
        body.outcome = {AssetSource::kNoReply, 0, kFetchNoRequest};
        return body;
    }
    body.fill = std::move(fill);
    return body;
}

// The fetch begins on the thread of the request that asked for it: it sends
// the request and takes the head and, for a small asset, its first piece.
// A small asset that came whole with it is answered without a hand-off, and
// its store waits for a quiet moment (CStoreQueue). Any other reads on a
// fetch thread, at the CDN's pace, whoever reads it. The fill creates its
// temporary file once the head says whether it needs one before the body is
// whole; a fill whose file cannot be created goes on without one.
bool CAssetCache::StartFill(const std::shared_ptr<CFlight>& flight, const std::string& url) {
    CAssetFill& fill = flight->Fill();
    fill.Breakdown()->Note(CMissBreakdown::kQueued);
    fill.Breakdown()->Note(CMissBreakdown::kFetchBegan);
    m_stores.NoteMiss();
    const std::shared_ptr<CFetchRun> run = m_session.Begin(url.c_str(), fill, CRecentAssets::kMaxAssetBytes);
    const bool whole = run->Over() && run->Result() == kFetchComplete;
    // One that failed already is ended here, before its reply looks: it is
    // answered whole as a failure, never with a head its body does not follow.
    if (run->Over() && !whole) {
        EndFetch(flight, *run);
        return true;
    }
    if (whole && QueueStore(flight, *run)) return true;
    if (m_fetches.Run([this, flight, run] {
            run->Continue();
            EndFetch(flight, *run);
        })) {
        return true;
    }
    // No fetch thread: a body that came whole is stored here, rather than lost.
    if (whole) EndFetch(flight, *run);
    return whole;
}

void CAssetCache::EndFetch(const std::shared_ptr<CFlight>& flight, const CFetchRun& run) {
    if (!QueueStore(flight, run)) FinishFetch(*flight, run.Result(), run.HttpStatus());
}

bool CAssetCache::IsStorable(CAssetFill& fill, int fetchResult) {
    const CAssetFill::View view = fill.Look();
    return fetchResult == kFetchComplete && !fill.Abandoned() && view.outcome.source == AssetSource::kFetched &&
           view.written == view.length;
}

// A small body that came whole waits in memory for its store, in the
// flights still, so that a request that comes meanwhile reads it from there.
// False when it is to be finished at once: anything else, or no room in the
// store queue.
bool CAssetCache::QueueStore(const std::shared_ptr<CFlight>& flight, const CFetchRun& run) {
    CAssetFill& fill = flight->Fill();
    if (!fill.StoresFromMemory() || !IsStorable(fill, run.Result())) return false;
    fill.MarkFetchOver();
    const int result = run.Result();
    const int status = run.HttpStatus();
    return m_stores.Add([this, flight, result, status] { FinishFetch(*flight, result, status); },
                        fill.Look().length);
}

// Once the fetch is over: on a fetch thread, the store thread, or the
// request's when neither could take it. What memory holds follows the disk:
// the new file's bytes when small, or nothing when it could not be stored
// or the cache was emptied meanwhile. The fill leaves the flights only once
// stored, so that a request that comes meanwhile reads from it rather than
// fetching again; it is finished once the cache is back within its limit.
// Should anything throw, the flight's owner ends it as the job goes.
void CAssetCache::FinishFetch(CFlight& flight, int result, int status) {
    CAssetFill* const fill = &flight.Fill();
    const std::string& name = flight.Name();
    bool stored = false;
    if (IsStorable(*fill, result)) {
        const uint64_t length = fill->Look().length;
        const uint64_t epoch = m_recent.Epoch();
        {
            const CStoreTicket ticket(*this);
            stored = ticket && fill->Store();
        }
        if (stored) fill->Breakdown()->Note(CMissBreakdown::kStored);
        m_recent.Keep(name, stored ? fill->Memory() : nullptr, Ticks(Now()), epoch);
        if (stored) {
            m_storedNames.Add(name);
            m_nStoredBytes += length;
            ++m_nStores;
        }
    }
    flight.Leave();
    if (stored) {
        try {
            TrimIfOverLimit();
        } catch (...) {
            // Out of memory for the listing: the next store trims again.
        }
    }
    flight.Finish(result, status);
}

// Ends fetches nobody reads until the peer's may start; false when every
// one in its way is still read.
bool CAssetCache::RoomForFetchLocked(uint32_t peer) {
    for (;;) {
        std::vector<std::string> names;
        std::vector<RunningFetch> running;
        for (const auto& [name, fill] : m_flights) {
            if (fill->FetchOver()) continue;  // waits only for its store
            names.push_back(name);
            running.push_back({fill->Peer(), fill->IsRead()});
        }
        const FetchRoom room = RoomForFetch(running, peer, kMaxFetches, kMaxFetchesPerPeer);
        if (room.verdict != FetchRoom::Verdict::kEndFirst) return room.verdict == FetchRoom::Verdict::kStart;
        AbandonLocked(names[room.victim]);
    }
}

// The flight leaves the table, and its fetch ends at its next step.
void CAssetCache::AbandonLocked(const std::string& name) {
    const auto found = m_flights.find(name);
    if (found == m_flights.end()) return;
    found->second->Abandon();
    m_flights.erase(found);
}

// On a fetch thread, after fill's file grew. The temporary files may hold
// as much as the cache limit: past it, every fetch nobody reads ends; then
// the largest files being read are left, until the rest fit. False when
// fill itself is to end (nobody reads it) or to go on without its file.
// Counted only when an estimate that errs high says they may be past it:
// most writes take no lock.
bool CAssetCache::MayGrowFile(CAssetFill& fill, uint32_t grew) {
    if (m_nTempBytesEstimate.fetch_add(grew) + grew <= m_nLimitBytes) return true;
    const std::lock_guard<std::mutex> guard(m_flightsLock);
    uint64_t total = 0;
    for (const auto& entry : m_flights) total += entry.second->FileBytes();
    m_nTempBytesEstimate = total;
    if (total <= m_nLimitBytes) return true;
    std::vector<std::string> unread;
    std::vector<CAssetFill*> read;
    for (const auto& [name, other] : m_flights) {
        if (other->FileBytes() == 0) continue;
        if (other->IsRead()) {
            read.push_back(other.get());
        } else {
            unread.push_back(name);
            total -= other->FileBytes();
        }
    }
    for (const std::string& name : unread) AbandonLocked(name);
    if (fill.Abandoned()) return false;
    std::sort(read.begin(), read.end(),
              [](const CAssetFill* a, const CAssetFill* b) { return a->FileBytes() > b->FileBytes(); });
    bool leaves = false;
    for (CAssetFill* largest : read) {
        if (total <= m_nLimitBytes) break;
        total -= largest->FileBytes();
        if (largest == &fill) {
            leaves = true;
        } else {
            largest->StopStoring();
        }
    }
    return !leaves;
}

void CAssetCache::EndFlight(const std::string& name, const std::shared_ptr<CAssetFill>& fill) {
    const std::lock_guard<std::mutex> guard(m_flightsLock);
    const auto found = m_flights.find(name);
    if (found != m_flights.end() && found->second == fill) m_flights.erase(found);
}

void CAssetCache::ForgetKeptCopies() {
    m_recent.ForgetAll();
    m_storedNames.Clear();
    Remeasure();
}

void CAssetCache::TrimIfOverLimit() {
    if (m_nStoredBytes > m_nLimitBytes) Remeasure();
}

// One thread lists the cache at a time. A request made while it lists is
// counted, and the lister lists again once done: whoever releases the
// listing looks at the requests after it, so none is left behind.
void CAssetCache::Remeasure() {
    m_nMeasureRequests.fetch_add(1);
    while (m_nMeasureRequests.load() != 0 && !m_bTrimming.exchange(true)) {
        struct Done {
            std::atomic<bool>& flag;
            ~Done() { flag = false; }
        } done{m_bTrimming};
        m_nMeasureRequests = 0;
        Maintain(false);
    }
}

// Lists the cache directory: asset files are summed (and trimmed when over
// the limit), temporary files of an earlier run removed when asked. A
// temporary file still being written is open without sharing, so it cannot be
// removed; nor is it ever chosen to be trimmed.
void CAssetCache::Maintain(bool removeLeftovers) {
    const uint64_t countedBefore = m_nStoredBytes;
    const std::wstring root = WidenAnsi(m_strRoot);
    std::vector<CachedFile> files;
    uint64_t total = 0;
    WIN32_FIND_DATAW found;
    {
        const CFileFind find(::FindFirstFileExW((root + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                                nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (!find) {
            // No folder (clear-cache may take it): nothing is stored.
            const DWORD error = ::GetLastError();
            if (error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND) return;
        }
        for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.get(), &found) != FALSE) {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            const std::string name = NarrowAsciiName(found.cFileName);
            if (IsCacheFileName(name)) {
                const uint64_t size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
                files.push_back({name, size, Ticks(found.ftLastWriteTime)});
                m_storedNames.Add(name);
                total += size;
            } else if (removeLeftovers && IsCacheTempFileName(name)) {
                ::DeleteFileW((root + found.cFileName).c_str());
            }
        }
    }
    if (total > m_nLimitBytes) {
        for (const CachedFile& file : ChooseEvictions(std::move(files), TrimTarget(m_nLimitBytes))) {
            // A file being read stays; the next trim takes it.
            if (::DeleteFileW((root + WidenAnsi(file.name)).c_str())) {
                total -= file.size;
                m_recent.Forget(file.name);
                m_storedNames.Remove(file.name);
            }
        }
    }
    // What was stored while the listing ran stays counted on top of it (one
    // the listing saw counts twice until the next: the cache trims a little
    // early, never late).
    m_nStoredBytes.fetch_add(total - countedBefore);
}

bool CAssetCache::CloseForExit(DWORD milliseconds) {
    // The stores that wait for a quiet moment are made now, within the time.
    const ULONGLONG start = ::GetTickCount64();
    const bool stored = m_stores.Hurry(milliseconds);
    const ULONGLONG spent = ::GetTickCount64() - start;
    milliseconds = spent >= milliseconds ? 0 : static_cast<DWORD>(milliseconds - spent);
    {
        CCriticalSectionLock lock(m_csStores);
        m_bClosed = true;
        if (m_nStoresUnderWay == 0) return stored;
    }
    return ::WaitForSingleObject(m_hNoStores.get(), milliseconds) == WAIT_OBJECT_0 && stored;
}
