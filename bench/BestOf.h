// The best of some rounds of a piece of work, in milliseconds, for the
// benchmarks; -1 when a round fails.
#pragma once

#include <windows.h>

#include <functional>

inline double BestOf(int rounds, const std::function<bool()>& work) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        LARGE_INTEGER start, end;
        ::QueryPerformanceCounter(&start);
        if (!work()) return -1;
        ::QueryPerformanceCounter(&end);
        const double ms =
            1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        if (ms < best) best = ms;
    }
    return best;
}
