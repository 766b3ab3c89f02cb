// One asset on its way from the CDN: the fetch writes a large one into its
// temporary cache file as it comes, a small one into memory (and into its
// file only once whole, to be stored), and every request for it reads from
// there up to what has been written, at its own pace. The fetch and the
// replies are joined by this object alone. When the disk cannot take it (a
// read-only or full disk, a name too long), the fill goes on without a file,
// its whole body in memory within a bound shared by all fills, and the asset
// is served but not stored.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/Download.h"
#include "server/AssetOutcome.h"
#include "server/FillMemory.h"
#include "server/MissBreakdown.h"
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
        // The whole body's block, for an asset small enough to be kept in
        // memory or one that has no file: its first `written` bytes are
        // final. Null for one read from the file.
        std::shared_ptr<const std::string> memory;
    };

    // Asked by the fetch after its file grew by some bytes: false when the
    // file may not grow further (temporary files past the cache limit). The
    // fill then ends if nobody reads it, and otherwise goes on without its
    // file.
    using FileGrowth = std::function<bool(CAssetFill&, uint32_t)>;

    // tempPath: the temporary file the fetch writes; finalPath: the cache
    // file it becomes when stored; memoryBound: what fills without a file
    // may hold, shared by them all; peer: the address whose request started
    // the fetch (host byte order); makeFolder: creates the folder of both
    // again, should the temporary file find it gone.
    CAssetFill(std::wstring tempPath, std::wstring finalPath, std::shared_ptr<CFillMemory> memoryBound,
               uint32_t peer = 0, FileGrowth fileGrew = {}, std::function<void()> makeFolder = {});
    // Removes the temporary file unless it was stored; readers that still
    // have it open read on from their handles.
    ~CAssetFill() override;
    CAssetFill(const CAssetFill&) = delete;
    CAssetFill& operator=(const CAssetFill&) = delete;

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
    // Flushes the complete file to the disk (a small body's is written
    // first, from memory) and renames it over the final path; readers opened
    // from now on read the cache file. False when it could not be stored
    // (the temporary file then goes with the fill), or there is no file.
    bool Store();
    // Ends the fill with the fetch's result: complete when every announced
    // byte arrived, failed otherwise; a failed fill's temporary file goes at
    // once.
    void Finish(int fetchResult, int httpStatus);
    // The body's block in memory when small, for the cache to keep.
    std::shared_ptr<const std::string> Memory() const;
    // A small body, whose file is written from memory only when stored:
    // read on the fetch's thread, or once the fetch is over.
    bool StoresFromMemory() const { return m_bFileOnceWhole; }
    // The fetch is over and the fill only waits for its store: it takes no
    // connection to the CDN, and no fetch makes room by ending it.
    void MarkFetchOver() { m_bFetchOver = true; }
    bool FetchOver() const { return m_bFetchOver; }

    // The replies that read the fill, counted by their AssetBody.
    void AddReader() { ++m_nReaders; }
    void RemoveReader() { --m_nReaders; }
    bool IsRead() const { return m_nReaders > 0; }
    uint32_t Peer() const { return m_nPeer; }
    // Bytes in the temporary file, while there is one.
    uint64_t FileBytes() const { return m_nFileBytes; }
    // Ends the fetch at its next step, when nobody reads it any more and
    // its room is wanted: its temporary file goes and nothing is stored.
    void Abandon() { m_bAbandoned = true; }
    bool Abandoned() const { return m_bAbandoned; }
    // From the fetch's next step on, no file: the body goes on in memory.
    void StopStoring() { m_bStopStoring = true; }
    // Where the miss spent its time (empty but in benchmark builds),
    // reported when the fill goes.
    CMissBreakdown* Breakdown() { return &m_breakdown; }

private:
    // Creates the temporary file; false when it cannot be created.
    bool CreateTemporaryFile();
    bool WriteWholeBody();
    void Publish();  // wakes the watchers; called without the lock
    bool HoldInMemory(const char* piece, uint32_t got);
    void DropFile();
    bool LeaveFile(const char* piece, uint32_t got);

    const std::wstring m_strTempPath;
    const std::wstring m_strFinalPath;
    const std::shared_ptr<CFillMemory> m_memoryBound;
    const uint32_t m_nPeer;
    const FileGrowth m_fileGrew;
    const std::function<void()> m_makeFolder;
    std::atomic<int> m_nReaders{0};
    std::atomic<bool> m_bAbandoned{false};
    std::atomic<bool> m_bStopStoring{false};
    std::atomic<bool> m_bFetchOver{false};
    std::atomic<uint64_t> m_nFileBytes{0};
    [[no_unique_address]] CMissBreakdown m_breakdown;
    // The fetch's own, touched by its thread only:
    CHandle m_hWriter;          // null once the disk failed, or from the start
    std::vector<char> m_piece;  // where a large body's pieces are read into
    std::string* m_pMemory = nullptr;  // the memory block being filled, when small or without a file
    bool m_bFileOnceWhole = false;     // small: its file is written when the body is whole, to store it
    uint64_t m_nReserved = 0;          // what this fill holds of the shared bound

    mutable std::mutex m_lock;  // guards everything below
    View m_view;
    bool m_bStored = false;
    std::vector<HANDLE> m_watchers;
};
