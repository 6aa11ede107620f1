// Shared by the benchmarks: per-call cost on this thread's CPU clock, and a busy test picture.
#pragma once

#include "platform/surface.h"

#include <algorithm>
#include <ctime>
#include <vector>

namespace bench {

// CPU time of this thread: the machine may be shared, and the figure wanted is the cost on one core.
inline double threadMicroseconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

// The median over rounds of the mean cost of one call of f, after one call that warms the caches.
template<typename F> double microsecondsPerCall(int calls, int rounds, F&& f)
{
    f();
    std::vector<double> perCall;
    for (int r = 0; r < rounds; ++r) {
        double start = threadMicroseconds();
        for (int i = 0; i < calls; ++i)
            f();
        perCall.push_back((threadMicroseconds() - start) / calls);
    }
    std::sort(perCall.begin(), perCall.end());
    return perCall[perCall.size() / 2];
}

inline void fillPicture(platform::PixelView s)
{
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            platform::writePixel(s, x, y, platform::packPixel(s.format, (x * 7) & 255, (y * 3) & 255, (x ^ y) & 255));
}

}
