#include "server/AssetCache.h"

#include <direct.h>
#include <io.h>

#include <atomic>
#include <vector>

#include "common/AnsiText.h"
#include "common/OutBuf.h"
#include "net/Download.h"
#include "server/AssetPath.h"
#include "server/CachePolicy.h"

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

// A served file an hour or more past its last use counts as used now.
void RefreshLastUse(const std::string& path) {
    const std::wstring wide = WidenAnsi(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    if (!NeedsLastUseRefresh(Ticks(data.ftLastWriteTime), Ticks(now))) return;
    const CHandle file(::CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) ::SetFileTime(file.get(), nullptr, nullptr, &now);
}

}  // namespace

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

CAssetCache::CAssetCache(std::string cdnBase, uint64_t limitBytes)
    : m_strCdnBase(std::move(cdnBase)),
      m_nLimitBytes(limitBytes),
      m_hNoStores(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

void CAssetCache::Open(const std::string& root) {
    m_strRoot = root;
    MakeDirectories(m_strRoot.c_str());
    Maintain(true);
}

AssetOutcome CAssetCache::Load(std::string_view target, COutBuf& body) {
    if (!IsSafeRequestTarget(target)) return {AssetSource::kRefusedTarget, 0, 0};

    const std::string path = CacheFilePath(m_strRoot, target);
    // An empty file counts as present; one that cannot be read whole does not.
    if (body.LoadFromFile(path.c_str())) {
        RefreshLastUse(path);
        return {AssetSource::kCache, 0, 0};
    }

    std::string url(m_strCdnBase);
    url += target;
    int status = 0;
    const int result = FetchUrl(url.c_str(), &body, &status);
    if (result != kFetchComplete) return {AssetSource::kNoReply, status, result};
    // An error page must not become the asset for good.
    if (status != kHttpOk) return {AssetSource::kCdnError, status, result};
    Store(path, body);
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
            if (::DeleteFileW((root + WidenAnsi(file.name)).c_str())) total -= file.size;
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
