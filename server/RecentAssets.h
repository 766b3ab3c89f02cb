// Recently served small assets, kept in memory so that a hit needs no file
// read. The disk cache stays the truth: whatever leaves it (clear-cache, an
// eviction, a file stored anew) is forgotten here. No Windows header; any
// thread may call it.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

class CRecentAssets {
public:
    static constexpr size_t kMaxAssetBytes = 1 << 20;   // larger assets are never kept
    static constexpr size_t kMaxTotalBytes = 32 << 20;  // past this the least recently served go
    using Body = std::shared_ptr<const std::string>;

    struct Hit {
        Body body;                  // null when the asset is not held
        bool refreshLastUse = false;  // the caller marks the file as used now, or forgets it when it is gone
    };
    // The asset kept under name, now the most recently served. A hit counts
    // as a use of the file: once NeedsLastUseRefresh holds for the last use
    // recorded, the hit says so (once) and records now.
    Hit Find(const std::string& name, uint64_t now);

    // Taken before an asset is read from the disk and handed to Keep: what
    // was forgotten meanwhile may be what was read.
    uint64_t Epoch() const;
    // What is kept under name becomes body, with lastUse the last use of its
    // file; or nothing, when body is null or over kMaxAssetBytes, or anything
    // was forgotten since epoch. The least recently served go to stay within
    // kMaxTotalBytes.
    void Keep(const std::string& name, Body body, uint64_t lastUse, uint64_t epoch);
    // Forgets name (its file went or changed) / everything (the cache was
    // emptied).
    void Forget(const std::string& name);
    void ForgetAll();

    size_t TotalBytes() const;

private:
    struct Entry {
        Body body;
        uint64_t lastUse = 0;
        std::list<std::string>::iterator recency;
    };
    void EraseLocked(std::unordered_map<std::string, Entry>::iterator entry);

    mutable std::mutex m_lock;  // guards everything below
    std::unordered_map<std::string, Entry> m_entries;
    std::list<std::string> m_recency;  // most recently served first
    size_t m_nTotalBytes = 0;
    uint64_t m_nEpoch = 0;
};
