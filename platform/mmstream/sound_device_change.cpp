// The stream's side of a sound device that comes and goes (the device side is in
// sdl_audio_device_loss.cpp). From the moment a device is lost until a new one keeps pace, the clock
// runs on the system timer, so the pictures go on whatever the device does (a new device of a sound
// server often takes a second before it asks for sound steadily), and the sound follows the clock: what
// the clock has passed is skipped, so the sound comes back in step with the picture.
#include "platform/mmstream/ffmpeg_backend.h"

#include <mutex>

namespace platform {

namespace {

// Callbacks in a row that hand sound on time before the device drives the clock again: a fifth of a
// second of a device that keeps pace.
constexpr int steadyCallbacks = 10;

}

void FfmpegBackend::keepSoundDevice()
{
    if (!audio_)
        return;
    const AudioOutput::DeviceChange change = audio_->keepDevice();
    if (change == AudioOutput::DeviceChange::None)
        return;
    bool running = false;
    {
        std::lock_guard lock(shared_.mutex);
        followClock(SteadyClock::now());
        running = shared_.running;
    }
    // The new device was left paused until the sound was set to follow the clock.
    if (change == AudioOutput::DeviceChange::Replaced)
        audio_->setPaused(!running);
}

void FfmpegBackend::followClock(SteadyClock::time_point now)
{
    SharedState& s = shared_;
    s.soundFollowsClock = true;
    s.soundSteadyCallbacks = 0;
    if (s.clock.ticking) {
        s.clock.set(s.clock.at(now), now);
    } else if (s.running && !s.pictureHold) {
        s.clock.set(s.clock.anchorPos, now);
        s.clock.ticking = true;
    }
}

void FfmpegBackend::placeSoundAtClock(SteadyClock::time_point now, int rate)
{
    SharedState& s = shared_;
    if (!s.clock.ticking)
        return;
    const MediaTime clock = s.clock.at(now);
    const MediaTime handed = s.handedOutAudio(rate);
    if (handed < clock) {
        // Sound that nobody heard is skipped; a slip within the jitter does not start the count over.
        if (handed < clock - audioJitter)
            s.soundSteadyCallbacks = 0;
        s.audioBase = clock;
        s.audioFramesOut = 0;
        return;
    }
    // Ahead of the clock is what the device buffers; it drives the clock again, the step forward being
    // that buffer, once it has asked for sound on time for a while.
    if (++s.soundSteadyCallbacks >= steadyCallbacks)
        s.soundFollowsClock = false;
}

}
