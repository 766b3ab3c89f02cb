#include "server/MissBreakdown.h"

#ifdef QUILLMOOR_MISS_BREAKDOWN

#include <chrono>
#include <cstdio>
#include <mutex>

int64_t CMissBreakdown::Now() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {
thread_local int64_t t_requestBytesAt = 0;
}  // namespace

void CMissBreakdown::NoteRequestBytes() { t_requestBytesAt = Now(); }

int64_t CMissBreakdown::RequestBytesAt() { return t_requestBytesAt; }

// Each line is written whole and flushed: the benchmark reads the log of a
// client it then kills.
void CMissBreakdown::Report(uint64_t length) const {
    static std::mutex lock;
    static FILE* const log = std::fopen(kLogName, "a");
    if (!log) return;
    const int64_t asked = m_marks[kRequest];
    if (!asked) return;  // a fill no request started: no miss of its own
    char line[512];
    int used = std::snprintf(line, sizeof line, "%llu", static_cast<unsigned long long>(length));
    for (int mark = kRequest + 1; mark < kMarkCount; ++mark) {
        const int64_t at = m_marks[mark];
        const int64_t after = mark == kBytesRead ? asked - at : at - asked;
        used += std::snprintf(line + used, sizeof line - used, "\t%lld", static_cast<long long>(at ? after : -1));
    }
    for (const auto& work : m_file) {
        used += std::snprintf(line + used, sizeof line - used, "\t%lld", static_cast<long long>(work.load()));
    }
    const std::lock_guard<std::mutex> guard(lock);
    std::fprintf(log, "%s\n", line);
    std::fflush(log);
}

#endif
