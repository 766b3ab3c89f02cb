#include "server/AssetCache.h"

#include <windows.h>
#include <direct.h>
#include <io.h>

#include <atomic>

#include "common/AnsiText.h"
#include "common/OutBuf.h"
#include "net/Download.h"
#include "server/AssetPath.h"

namespace {

constexpr int kHttpOk = 200;

// Writes body to a private temporary file beside finalPath and renames it
// over finalPath. On any failure the temporary file is removed and finalPath
// is left as it was.
void StoreAtomically(const std::string& finalPath, const COutBuf& body) {
    static std::atomic<uint32_t> sequence{0};
    const std::string tempPath =
        CacheTempFilePath(finalPath, ::GetCurrentProcessId(), ::GetCurrentThreadId(), ++sequence);
    const std::wstring wideTemp = WidenAnsi(tempPath);
    if (!body.SaveToFile(tempPath.c_str()) ||
        !::MoveFileExW(wideTemp.c_str(), WidenAnsi(finalPath).c_str(), MOVEFILE_REPLACE_EXISTING)) {
        // The rename also fails while a reader holds the final file open; that
        // file is complete already, so dropping ours loses nothing.
        ::DeleteFileW(wideTemp.c_str());
    }
}

}  // namespace

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

AssetOutcome LoadAsset(const std::string& cacheRoot, std::string_view target, COutBuf& body,
                       std::string_view cdnBase) {
    if (!IsSafeRequestTarget(target)) return {AssetSource::kRefusedTarget, 0, 0};

    const std::string path = CacheFilePath(cacheRoot, target);
    // An empty file counts as present; one that cannot be read whole does not.
    if (body.LoadFromFile(path.c_str())) return {AssetSource::kCache, 0, 0};

    std::string url(cdnBase);
    url += target;
    int status = 0;
    const int result = FetchUrl(url.c_str(), &body, &status);
    if (result != kFetchComplete) return {AssetSource::kNoReply, status, result};
    // An error page must not become the asset for good.
    if (status != kHttpOk) return {AssetSource::kCdnError, status, result};
    StoreAtomically(path, body);
    return {AssetSource::kFetched, status, result};
}
