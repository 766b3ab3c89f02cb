// One asset on its way from the CDN: the fetch writes it into its temporary
// cache file (and, when it is small, into memory as well), and every request
// for it reads from there up to what has been written, at its own pace. The
// fetch and the replies are joined by this object alone.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/Download.h"
#include "server/AssetOutcome.h"
#include "toolkit/ScopedResource.h"

class CAssetFill : public CFetchReceiver {
public:
    enum class Phase {
        kAwaitingHead,  // no reply yet
        kFilling,       // the head is known; bytes arrive
        kComplete,      // every announced byte was written
        kFailed,        // no usable reply, or the body was cut: what is missing never comes
    };
    // What a reader sees at one moment.
    struct View {
        Phase phase = Phase::kAwaitingHead;
        bool headArrived = false;
        AssetOutcome outcome;   // from the head on, what the reply is; at the end of a failure, why
        uint64_t length = 0;    // the announced length
        uint64_t written = 0;   // bytes readable from the start
        // The whole body's block for an asset small enough to be kept in
        // memory: its first `written` bytes are final. Null for a larger one.
        std::shared_ptr<const std::string> memory;
    };

    // tempPath: the temporary file the fetch writes; finalPath: the cache
    // file it becomes when stored.
    CAssetFill(std::wstring tempPath, std::wstring finalPath);
    // Removes the temporary file unless it was stored; readers that still
    // have it open read on from their handles.
    ~CAssetFill() override;
    CAssetFill(const CAssetFill&) = delete;
    CAssetFill& operator=(const CAssetFill&) = delete;

    // Creates the temporary file; false when it cannot be created.
    bool CreateTemporaryFile();

    View Look() const;
    // A handle to read the bytes from: the temporary file, or the cache
    // file once stored. Readers share it with deletion, so that clear-cache
    // and eviction can remove it while they read.
    CHandle OpenReader() const;
    // wake (an auto-reset event) is set whenever the view changes, until
    // Unwatch. Watching twice is once.
    void Watch(HANDLE wake);
    void Unwatch(HANDLE wake);

    // The fetch's side, on its thread.
    bool OnHead(const FetchHead& head) override;
    char* BodyRoom(uint32_t count) override;
    bool OnBodyRead(uint32_t got) override;
    // Flushes the complete file to the disk and renames it over the final
    // path; readers opened from now on read the cache file. False when it
    // could not be stored (the temporary file then goes with the fill).
    bool Store();
    // Ends the fill with the fetch's result: complete when every announced
    // byte arrived, failed otherwise; a failed fill's temporary file goes at
    // once.
    void Finish(int fetchResult, int httpStatus);
    // The body's block in memory when small, for the cache to keep.
    std::shared_ptr<const std::string> Memory() const;

private:
    void Publish();  // wakes the watchers; called without the lock

    const std::wstring m_strTempPath;
    const std::wstring m_strFinalPath;
    // The fetch's own, touched by its thread only:
    CHandle m_hWriter;
    std::vector<char> m_piece;  // where a large body's pieces are read into
    std::string* m_pMemory = nullptr;  // the memory block being filled, when small

    mutable std::mutex m_lock;  // guards everything below
    View m_view;
    bool m_bStored = false;
    std::vector<HANDLE> m_watchers;
};
