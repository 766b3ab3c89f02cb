// Where one miss spends its time, from the asset server's side, for the
// benchmarks (bench/misses). Compiled in only when QUILLMOOR_MISS_BREAKDOWN
// is defined, by the CMake option of that name, which a release build
// refuses; otherwise every member is empty, takes no room, and nothing of it
// is in the executable. No Windows header.
#pragma once

#include <atomic>
#include <cstdint>

class CMissBreakdown {
public:
    // The moments of a miss, in order.
    enum Mark {
        kRequest,    // the connection took the request
        kQueued,     // its fetch was handed to the fetch threads
        kFetchBegan, // a fetch thread took it
        kCdnHead,    // the CDN's head came
        kHeadReady,  // the connection thread made the reply's head, to send it at once
        kLastRead,   // the fetch had the last byte
        kLastSent,   // the connection sent the last byte
        kStored,     // the file was flushed and renamed into the cache
        kBytesRead,  // the connection read the request's last bytes (before kRequest)
        kFirstSent,  // the first send of the reply returned
        kMarkCount
    };
    // The file work of a miss, summed.
    enum FileWork { kCreate, kWrite, kStore, kReadBack, kFileWorkCount };

    // The log a run writes, one line per miss, into the current folder.
    static constexpr char kLogName[] = "miss-breakdown.tsv";

#ifdef QUILLMOOR_MISS_BREAKDOWN
    // Microseconds on a steady clock.
    static int64_t Now();
    // The first time a mark is noted counts: of a fill read by several
    // replies, the first reply's.
    void Note(Mark mark, int64_t at = Now()) {
        int64_t unset = 0;
        m_marks[mark].compare_exchange_strong(unset, at);
    }
    void Add(FileWork work, int64_t micros) { m_file[work] += micros; }
    // Appends the miss's line to the log: its length, each mark after the
    // request in microseconds (-1 when never noted; kBytesRead, before it,
    // as its distance before it), then each file work.
    void Report(uint64_t length) const;
    // The connection's thread notes when it read a request's bytes, for the
    // reply that request gets on the same thread.
    static void NoteRequestBytes();
    static int64_t RequestBytesAt();

private:
    std::atomic<int64_t> m_marks[kMarkCount] = {};
    std::atomic<int64_t> m_file[kFileWorkCount] = {};
#else
    static int64_t Now() { return 0; }
    void Note(Mark, int64_t = 0) {}
    void Add(FileWork, int64_t) {}
    void Report(uint64_t) const {}
    static void NoteRequestBytes() {}
    static int64_t RequestBytesAt() { return 0; }
#endif
};

// Adds the time it lives to a file work of a breakdown (or to none).
class CFileWorkTimer {
public:
    CFileWorkTimer(CMissBreakdown* breakdown, CMissBreakdown::FileWork work)
        : m_breakdown(breakdown), m_work(work), m_began(CMissBreakdown::Now()) {}
    ~CFileWorkTimer() {
        if (m_breakdown) m_breakdown->Add(m_work, CMissBreakdown::Now() - m_began);
    }
    CFileWorkTimer(const CFileWorkTimer&) = delete;
    CFileWorkTimer& operator=(const CFileWorkTimer&) = delete;

private:
    CMissBreakdown* const m_breakdown;
    const CMissBreakdown::FileWork m_work;
    const int64_t m_began;
};
