// What fills that have no file to write may hold in memory, all together:
// a fill whose disk cannot take it keeps its whole body in memory instead,
// as long as the bound allows. No Windows header.
#pragma once

#include <atomic>
#include <cstdint>

class CFillMemory {
public:
    explicit CFillMemory(uint64_t limitBytes) : m_nLimit(limitBytes) {}
    CFillMemory(const CFillMemory&) = delete;
    CFillMemory& operator=(const CFillMemory&) = delete;

    // Takes bytes from what is left; false, taking nothing, when too little is.
    bool Reserve(uint64_t bytes) {
        uint64_t held = m_nHeld.load();
        do {
            if (bytes > m_nLimit || held > m_nLimit - bytes) return false;
        } while (!m_nHeld.compare_exchange_weak(held, held + bytes));
        return true;
    }
    void Release(uint64_t bytes) { m_nHeld -= bytes; }

private:
    const uint64_t m_nLimit;
    std::atomic<uint64_t> m_nHeld{0};
};
