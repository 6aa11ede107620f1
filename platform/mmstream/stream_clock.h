// The clock of the stream: an anchor position at an anchor instant, running on from there while it
// ticks, never beyond its cap (the end of the sound handed to the device).
#pragma once

#include "platform/mmstream/media_backend.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>

namespace platform {

using SteadyClock = std::chrono::steady_clock;

// Movie time that frames device frames at rate cover when played at speed.
inline MediaTime deviceSpan(int64_t frames, double speed, int rate)
{
    if (speed == 1.0)
        return MediaTime(frames * 10'000'000 / rate);
    return MediaTime(std::llround(static_cast<double>(frames) * 10'000'000.0 * speed / rate));
}

struct StreamClock {
    MediaTime anchorPos {0};
    SteadyClock::time_point anchorTime {};
    std::optional<MediaTime> cap;
    bool ticking = false;
    // Movie time per real time: the playback speed of what is heard.
    double rate = 1.0;

    MediaTime at(SteadyClock::time_point now) const
    {
        if (!ticking)
            return anchorPos;
        MediaTime t = anchorPos + elapsed(now - anchorTime);
        return cap && t > *cap ? *cap : t;
    }
    MediaTime elapsed(SteadyClock::duration real) const
    {
        if (rate == 1.0)
            return std::chrono::duration_cast<MediaTime>(real);
        return MediaTime(std::llround(static_cast<double>(std::chrono::duration_cast<MediaTime>(real).count()) * rate));
    }
    // The real time in which the clock runs through movieTime.
    SteadyClock::duration realTime(MediaTime movieTime) const
    {
        if (rate == 1.0)
            return std::chrono::duration_cast<SteadyClock::duration>(movieTime);
        return std::chrono::duration_cast<SteadyClock::duration>(
            std::chrono::duration<double, MediaTime::period>(static_cast<double>(movieTime.count()) / rate));
    }
    void set(MediaTime pos, SteadyClock::time_point now, std::optional<MediaTime> limit = std::nullopt)
    {
        anchorPos = pos;
        anchorTime = now;
        cap = limit;
    }
    void hold(SteadyClock::time_point now)
    {
        anchorPos = at(now);
        cap.reset();
        ticking = false;
    }
};

}
