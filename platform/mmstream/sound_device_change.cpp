// The stream's side of a sound device that comes and goes (the device side is in
// sdl_audio_device_loss.cpp). From the moment a device is lost until a new one keeps pace, the clock
// runs on the system timer, so the pictures go on whatever the device does (a new device of a sound
// server often takes a second before it asks for sound steadily), and the sound is placed at the clock:
// what was missed is dropped, and the sound comes back in step with the picture.
#include "platform/mmstream/ffmpeg_backend.h"

#include <mutex>

namespace platform {

namespace {

// A device hands sound ahead of what it plays, by a buffer or two; beyond this lead the sound is placed
// at the clock again.
constexpr MediaTime followLead = std::chrono::milliseconds(100);
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
    const MediaTime handed = s.audioBase + MediaTime(s.audioFramesOut * 10'000'000 / rate);
    if (handed < clock || handed > clock + followLead) {
        // A slip within the jitter is put right without starting the count over.
        if (handed < clock - audioJitter || handed > clock + followLead)
            s.soundSteadyCallbacks = 0;
        s.audioBase = clock;
        s.audioFramesOut = 0;
        return;
    }
    if (++s.soundSteadyCallbacks >= steadyCallbacks)
        s.soundFollowsClock = false;  // this callback anchors the clock to the device again
}

}
