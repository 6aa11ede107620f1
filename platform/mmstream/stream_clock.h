// The clock of the stream: an anchor position at an anchor instant, running on from there while it
// ticks, never beyond its cap (the end of the sound handed to the device).
#pragma once

#include "platform/mmstream/media_backend.h"

#include <chrono>
#include <optional>

namespace platform {

using SteadyClock = std::chrono::steady_clock;

struct StreamClock {
    MediaTime anchorPos {0};
    SteadyClock::time_point anchorTime {};
    std::optional<MediaTime> cap;
    bool ticking = false;

    MediaTime at(SteadyClock::time_point now) const
    {
        if (!ticking)
            return anchorPos;
        MediaTime t = anchorPos + std::chrono::duration_cast<MediaTime>(now - anchorTime);
        return cap && t > *cap ? *cap : t;
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
