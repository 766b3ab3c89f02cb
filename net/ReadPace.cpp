#include "net/ReadPace.h"

#include <algorithm>

uint32_t CReadPace::Next(uint32_t available, uint32_t left) const {
    return std::min({std::max({available, m_nReach, 1u}), m_nMaxRead, left});
}

void CReadPace::Took(uint32_t asked, uint32_t got, uint32_t elapsedMs) {
    if (elapsedMs > kSlowReadMs) {
        m_nReach = 0;
    } else if (got == asked && elapsedMs <= kQuickReadMs) {
        m_nReach = std::min(std::max(2 * asked, kFirstReach), m_nMaxRead);
    }
}
