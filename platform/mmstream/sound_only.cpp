// A file with sound only is shown as black: the caller's target keeps the black it was cleared to, and a
// "picture" falls due once per frame interval while the sound plays, so the caller composes its frames
// (captions, status bar) at a steady pace. The stream ends when the sound has played out.
#include "platform/mmstream/ffmpeg_backend.h"

#include <algorithm>
#include <mutex>

namespace platform {

FrameDelivery FfmpegBackend::blackFrame(std::chrono::milliseconds timeout)
{
    keepSoundDevice();
    SharedState& s = shared_;
    const auto deadline = SteadyClock::now() + timeout;
    std::unique_lock lock(s.mutex);
    for (;;) {
        const auto now = SteadyClock::now();
        const MediaTime t = s.clock.at(now);
        // Without a sound device nothing is decoded and the clock runs on monotonic time to the end.
        const bool soundDone = audio_ ? s.audioEnded && s.audioChunks.empty() : t >= properties_.duration;
        if (soundDone) {
            if (s.fileEnd)
                s.knownEnd = s.fileEnd;
            return {FrameOutcome::EndOfStream};
        }
        // The first picture after an open or a seek is due at once, as for a movie.
        if (!s.positionShown || (s.running && now >= blackDueAt_)) {
            s.positionShown = true;
            s.lastDelivered = t;
            blackDueAt_ = now + properties_.frameInterval;
            return {FrameOutcome::Delivered, t, t + properties_.frameInterval};
        }
        if (now >= deadline)
            return {FrameOutcome::NotDue};
        s.frameWake.wait_until(lock, s.running ? std::min(deadline, blackDueAt_) : deadline);
    }
}

}
