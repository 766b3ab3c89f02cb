// How much a fetch asks for in each read. A synchronous WinINet read waits
// until it has all it asked for, and WinINet tells of only a little as
// available (under Wine never more than 8 KiB): asking for what is available
// passes a trickled body on as it comes but moves a fast one in tiny pieces,
// and asking for much moves a fast body cheaply but holds a trickled one
// back. So a read asks for more than is available only while the reads before
// it were filled at once. No Windows header.
#pragma once

#include <cstdint>

class CReadPace {
public:
    // The first read asks for this much at least: a small asset comes in one
    // read, a trickled one is held back no longer than this takes to come.
    static constexpr uint32_t kFirstReach = 64 * 1024;
    // A read filled within this came at once: the next may ask for twice as much.
    static constexpr uint32_t kQuickReadMs = 5;
    // A read that waited longer held bytes back: the next asks for what is there.
    static constexpr uint32_t kSlowReadMs = 20;

    explicit CReadPace(uint32_t maxRead) : m_nMaxRead(maxRead) {}

    // What to ask for when available bytes are known to be there and left
    // are still to come: at least 1 when left is not 0.
    uint32_t Next(uint32_t available, uint32_t left) const;
    // A read that asked for asked bytes got got of them in elapsedMs.
    void Took(uint32_t asked, uint32_t got, uint32_t elapsedMs);

private:
    const uint32_t m_nMaxRead;
    uint32_t m_nReach = kFirstReach;  // what a read may ask for beyond what is available
};
