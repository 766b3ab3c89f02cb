#include "server/AssetCache.h"

#include <direct.h>
#include <io.h>

#include <atomic>
#include <condition_variable>
#include <vector>

#include "common/AnsiText.h"
#include "common/OutBuf.h"
#include "net/Download.h"
#include "server/AssetPath.h"
#include "server/CachePolicy.h"
#include "server/GenericServer.h"

namespace {

constexpr int kHttpOk = 200;

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

bool WriteAll(HANDLE file, const COutBuf& body) {
    const char* data = body.GetData();
    int32_t left = body.GetLength();
    while (left > 0) {
        DWORD written = 0;
        if (!::WriteFile(file, data, static_cast<DWORD>(left), &written, nullptr) || written == 0) return false;
        data += written;
        left -= static_cast<int32_t>(written);
    }
    return true;
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

// A copy of body that several readers can hold.
CRecentAssets::Body SharedCopy(const COutBuf& body) {
    return std::make_shared<const std::string>(body.GetData() ? body.GetData() : "",
                                               static_cast<size_t>(body.GetLength()));
}

// A copy of body to keep in memory, or none when it is too large to be kept.
CRecentAssets::Body CopyToKeep(const COutBuf& body) {
    if (static_cast<size_t>(body.GetLength()) > CRecentAssets::kMaxAssetBytes) return nullptr;
    return SharedCopy(body);
}

bool AnswersOthers(const AssetOutcome& outcome) {
    return outcome.source == AssetSource::kCache || outcome.source == AssetSource::kFetched ||
           outcome.source == AssetSource::kCdnError;
}

}  // namespace

// One fetch of a missing asset that other requests of the same target wait
// for. Its result is shared when the fetch produced a reply to answer with.
struct CAssetCache::Flight {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;              // guarded by lock, as are the two below
    AssetOutcome outcome;
    CRecentAssets::Body body;       // null when the others must fetch for themselves
    int followers = 0;              // guarded by the cache's m_flightsLock
};

// The request that makes a flight's fetch. It ends the flight when it goes,
// with a failure unless Finish gave the result, so that no follower waits for
// a fetch that will never end (one that threw, say).
class CAssetCache::CFlightLead {
public:
    CFlightLead(CAssetCache& cache, std::string name, std::shared_ptr<Flight> flight)
        : m_cache(cache), m_strName(std::move(name)), m_flight(std::move(flight)) {}
    ~CFlightLead() {
        if (m_flight) End(AssetOutcome{}, nullptr);
    }
    CFlightLead(const CFlightLead&) = delete;
    CFlightLead& operator=(const CFlightLead&) = delete;

    // Hands the followers the outcome and a copy of body when it answers them.
    void Finish(const AssetOutcome& outcome, const COutBuf& body) {
        int followers = 0;
        {
            const std::lock_guard<std::mutex> guard(m_cache.m_flightsLock);
            m_cache.m_flights.erase(m_strName);  // later requests find the file or fetch anew
            followers = m_flight->followers;
        }
        CRecentAssets::Body shared;
        if (followers > 0 && AnswersOthers(outcome)) shared = SharedCopy(body);
        End(outcome, std::move(shared));
    }

private:
    void End(const AssetOutcome& outcome, CRecentAssets::Body body) {
        {
            const std::lock_guard<std::mutex> guard(m_cache.m_flightsLock);
            const auto found = m_cache.m_flights.find(m_strName);
            if (found != m_cache.m_flights.end() && found->second == m_flight) m_cache.m_flights.erase(found);
        }
        {
            const std::lock_guard<std::mutex> guard(m_flight->lock);
            m_flight->done = true;
            m_flight->outcome = outcome;
            m_flight->body = std::move(body);
        }
        m_flight->finished.notify_all();
        m_flight.reset();
    }

    CAssetCache& m_cache;
    const std::string m_strName;
    std::shared_ptr<Flight> m_flight;
};

// Counts a store as under way, unless the cache is closed for exit.
class CAssetCache::CStoreTicket {
public:
    explicit CStoreTicket(CAssetCache& cache) : m_cache(cache) {
        CCriticalSectionLock lock(m_cache.m_csStores);
        if (m_cache.m_bClosed) return;
        if (m_cache.m_nStoresUnderWay++ == 0) ::ResetEvent(m_cache.m_hNoStores.get());
        m_bValid = true;
    }
    ~CStoreTicket() {
        if (!m_bValid) return;
        CCriticalSectionLock lock(m_cache.m_csStores);
        if (--m_cache.m_nStoresUnderWay == 0) ::SetEvent(m_cache.m_hNoStores.get());
    }
    CStoreTicket(const CStoreTicket&) = delete;
    CStoreTicket& operator=(const CStoreTicket&) = delete;
    explicit operator bool() const { return m_bValid; }

private:
    CAssetCache& m_cache;
    bool m_bValid = false;
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

CAssetCache::CAssetCache(std::string cdnBase, uint64_t limitBytes, ConnectionStateReader readState)
    : m_strCdnBase(std::move(cdnBase)),
      m_session(CGenericServer::kMaxConnections, std::move(readState)),
      m_nLimitBytes(limitBytes),
      m_hNoStores(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

void CAssetCache::Open(const std::string& root) {
    m_strRoot = root;
    MakeDirectories(m_strRoot.c_str());
    Maintain(true);
}

AssetOutcome CAssetCache::Load(std::string_view target, COutBuf& body, CRecentAssets::Body* kept) {
    if (!IsSafeRequestTarget(target)) return {AssetSource::kRefusedTarget, 0, 0};
    const std::string name = CacheFileName(target);
    const std::string path = m_strRoot + name;
    if (ServeKept(name, path, body, kept) || ReadStored(name, path, body)) return {AssetSource::kCache, 0, 0};
    return FetchOnce(target, name, path, body);
}

// A hit from memory. Once an hour it marks the file used, as a hit from the
// disk does; a file found gone then is forgotten and the asset fetched anew.
bool CAssetCache::ServeKept(const std::string& name, const std::string& path, COutBuf& body,
                            CRecentAssets::Body* kept) {
    const FILETIME now = Now();
    const CRecentAssets::Hit hit = m_recent.Find(name, Ticks(now));
    if (!hit.body) return false;
    if (hit.refreshLastUse && !MarkUsed(WidenAnsi(path), now)) {
        m_recent.Forget(name);
        return false;
    }
    if (kept) {
        *kept = hit.body;
        return true;
    }
    return body.Append(hit.body->data(), static_cast<int32_t>(hit.body->size()));
}

// A hit from the disk; a small asset is kept in memory for the next one. An
// empty file counts as present; one that cannot be read whole does not.
bool CAssetCache::ReadStored(const std::string& name, const std::string& path, COutBuf& body) {
    const uint64_t epoch = m_recent.Epoch();
    if (!body.LoadFromFile(path.c_str())) return false;
    const uint64_t lastUse = RefreshLastUse(path);
    if (lastUse != 0) m_recent.Keep(name, CopyToKeep(body), lastUse, epoch);
    return true;
}

// A miss: the first request of a target fetches it; the others that come
// while it does wait for its result.
AssetOutcome CAssetCache::FetchOnce(std::string_view target, const std::string& name, const std::string& path,
                                    COutBuf& body) {
    std::shared_ptr<Flight> flight;
    bool leads = false;
    {
        const std::lock_guard<std::mutex> guard(m_flightsLock);
        std::shared_ptr<Flight>& slot = m_flights[name];
        if (!slot) {
            slot = std::make_shared<Flight>();
            leads = true;
        } else {
            ++slot->followers;
        }
        flight = slot;
    }
    if (!leads) {
        std::unique_lock<std::mutex> guard(flight->lock);
        flight->finished.wait(guard, [&] { return flight->done; });
        if (flight->body) {
            const AssetOutcome outcome = flight->outcome;
            const CRecentAssets::Body shared = flight->body;
            guard.unlock();
            if (body.Append(shared->data(), static_cast<int32_t>(shared->size()))) return outcome;
        }
        guard.unlock();
        return FetchAndStore(target, name, path, body);
    }

    CFlightLead lead(*this, name, std::move(flight));
    // Another request may have stored it between this one's look and its
    // joining.
    AssetOutcome outcome{AssetSource::kCache, 0, 0};
    if (!ReadStored(name, path, body)) outcome = FetchAndStore(target, name, path, body);
    lead.Finish(outcome, body);
    return outcome;
}

AssetOutcome CAssetCache::FetchAndStore(std::string_view target, const std::string& name, const std::string& path,
                                        COutBuf& body) {
    std::string url(m_strCdnBase);
    url += target;
    int status = 0;
    const int result = m_session.Fetch(url.c_str(), &body, &status);
    if (result != kFetchComplete) return {AssetSource::kNoReply, status, result};
    // An error page must not become the asset for good.
    if (status != kHttpOk) return {AssetSource::kCdnError, status, result};
    // What memory holds follows the disk: the new file, or nothing when it
    // could not be stored or the cache was emptied meanwhile.
    const uint64_t epoch = m_recent.Epoch();
    const bool stored = Store(path, body);
    m_recent.Keep(name, stored ? CopyToKeep(body) : nullptr, Ticks(Now()), epoch);
    return {AssetSource::kFetched, status, result};
}

// Writes body to a private temporary file beside finalPath, flushes it to the
// disk and renames it over finalPath. Without the flush a power cut could
// leave the rename done and the data not: an empty file, served for good.
// On any failure the temporary file is removed and finalPath is left as it was.
bool CAssetCache::Store(const std::string& finalPath, const COutBuf& body) {
    const CStoreTicket ticket(*this);
    if (!ticket) return false;
    static std::atomic<uint32_t> sequence{0};
    const std::wstring temp =
        WidenAnsi(CacheTempFilePath(finalPath, ::GetCurrentProcessId(), ::GetCurrentThreadId(), ++sequence));
    CHandle file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bool stored = WriteAll(file.get(), body) && ::FlushFileBuffers(file.get());
    stored = ::CloseHandle(file.release()) && stored;
    // The rename also fails while a reader holds the final file open; that
    // file is complete already, so dropping ours loses nothing.
    stored = stored && ::MoveFileExW(temp.c_str(), WidenAnsi(finalPath).c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!stored) {
        ::DeleteFileW(temp.c_str());
        return false;
    }
    m_nStoredBytes += static_cast<uint64_t>(body.GetLength());
    return true;
}

void CAssetCache::TrimIfOverLimit() {
    if (m_nStoredBytes <= m_nLimitBytes || m_bTrimming.exchange(true)) return;
    struct Done {
        std::atomic<bool>& flag;
        ~Done() { flag = false; }
    } done{m_bTrimming};
    Maintain(false);
}

// Lists the cache directory: asset files are summed (and trimmed when over
// the limit), temporary files of an earlier run removed when asked. A
// temporary file still being written is open without sharing, so it cannot be
// removed; nor is it ever chosen to be trimmed.
void CAssetCache::Maintain(bool removeLeftovers) {
    const std::wstring root = WidenAnsi(m_strRoot);
    std::vector<CachedFile> files;
    uint64_t total = 0;
    WIN32_FIND_DATAW found;
    {
        const CFileFind find(::FindFirstFileExW((root + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                                nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (!find) return;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            const std::string name = NarrowAsciiName(found.cFileName);
            if (IsCacheFileName(name)) {
                const uint64_t size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
                files.push_back({name, size, Ticks(found.ftLastWriteTime)});
                total += size;
            } else if (removeLeftovers && IsCacheTempFileName(name)) {
                ::DeleteFileW((root + found.cFileName).c_str());
            }
        } while (::FindNextFileW(find.get(), &found));
    }
    if (total > m_nLimitBytes) {
        for (const CachedFile& file : ChooseEvictions(std::move(files), TrimTarget(m_nLimitBytes))) {
            // A file being read stays; the next trim takes it.
            if (::DeleteFileW((root + WidenAnsi(file.name)).c_str())) {
                total -= file.size;
                m_recent.Forget(file.name);
            }
        }
    }
    m_nStoredBytes = total;
}

bool CAssetCache::CloseForExit(DWORD milliseconds) {
    {
        CCriticalSectionLock lock(m_csStores);
        m_bClosed = true;
        if (m_nStoresUnderWay == 0) return true;
    }
    return ::WaitForSingleObject(m_hNoStores.get(), milliseconds) == WAIT_OBJECT_0;
}
