// The clock of the stream and the sound that drives it: the audio device's callback places the queued
// sound at its time and anchors the clock to what it hands the device; without sound the clock runs
// on monotonic time.
#include "platform/mmstream/ffmpeg_backend.h"

#include "platform/frame_trace.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace platform {

namespace {

// The clock waits this long for the first sound after a start or a seek before it runs on silence.
constexpr MediaTime audioPrimingLimit = std::chrono::milliseconds(500);
// And this long for the first picture to be shown before it runs without it (a decoder that gives
// nothing must not silence the sound for good).
constexpr auto pictureHoldLimit = std::chrono::seconds(1);

}

bool FfmpegBackend::holdsForPicture() const
{
    return video_ && !untimed_;
}

void FfmpegBackend::holdForPicture(SteadyClock::time_point now)
{
    SharedState& s = shared_;
    s.pictureHold = holdsForPicture();
    s.pictureHoldSince = now;
    s.heldSound = MediaTime(0);
    if (s.pictureHold)
        s.clock.ticking = false;
}

bool FfmpegBackend::releasePictureHold(SteadyClock::time_point now, bool pictureShown)
{
    return endPictureHold(now, pictureShown || now - shared_.pictureHoldSince >= pictureHoldLimit);
}

bool FfmpegBackend::endPictureHold(SteadyClock::time_point now, bool over)
{
    SharedState& s = shared_;
    if (!s.pictureHold || !over)
        return false;
    s.pictureHold = false;
    // With sound the device's next callback starts the clock, so that both start together.
    if (s.running && (!audio_ || s.soundFollowsClock)) {
        s.clock.set(s.clock.anchorPos, now);
        s.clock.ticking = true;
    }
    return true;
}

// Runs on the audio thread. Places each chunk at its own time: silence fills a gap before it and the
// part of it that is already late is dropped, so the sound stays on the clock whatever the decoder does.
void FfmpegBackend::fillAudio(int16_t* samples, int frames, int rate, int channels)
{
    SharedState& s = shared_;
    std::fill(samples, samples + static_cast<std::ptrdiff_t>(frames) * channels, int16_t {0});
    std::unique_lock lock(s.mutex);
    if (!s.running)
        return;
    // The device's side of the hold counts the silence it played, not the time that passed: a device
    // that plays only when told to (manual_sound_device.h) then holds exactly as long as it played.
    if (s.pictureHold) {
        s.heldSound += deviceSpan(frames, 1.0, rate);
        if (!endPictureHold(SteadyClock::now(), s.heldSound >= pictureHoldLimit))
            return;
    }
    if (!s.audioPrimed) {
        if (s.audioChunks.empty() && !s.audioEnded && s.primingFrames * 10'000'000 / rate < audioPrimingLimit.count()) {
            s.primingFrames += frames;
            return;
        }
        s.audioPrimed = true;
    }
    if (s.soundFollowsClock)
        placeSoundAtClock(SteadyClock::now(), rate);
    const MediaTime bufferStart = s.handedOutAudio(rate);
    // Each chunk plays at the speed it was made for; silence at that of the sound next to it, or at the
    // speed asked for when there is none.
    double speed = s.audioChunks.empty() ? s.speed : s.audioChunks.front().speed;
    const double startSpeed = speed;
    MediaTime here = bufferStart;
    int written = 0;
    while (written < frames && !s.audioChunks.empty()) {
        AudioChunk& chunk = s.audioChunks.front();
        speed = chunk.speed;
        int64_t available = static_cast<int64_t>(chunk.samples.size() / channels) - static_cast<int64_t>(chunk.offsetFrames);
        MediaTime chunkPos = chunk.start + deviceSpan(static_cast<int64_t>(chunk.offsetFrames), speed, rate);
        int64_t gapFrames = static_cast<int64_t>(static_cast<double>((chunkPos - here).count()) * rate / (10'000'000.0 * speed));
        if (gapFrames > 0 && chunkPos - here > audioJitter) {
            const int64_t silence = std::min<int64_t>(gapFrames, frames - written);
            written += static_cast<int>(silence);
            here += deviceSpan(silence, speed, rate);
            continue;
        }
        if (gapFrames < 0 && here - chunkPos > audioJitter) {
            int64_t drop = std::min<int64_t>(-gapFrames, available);
            chunk.offsetFrames += static_cast<std::size_t>(drop);
            available -= drop;
        }
        int64_t take = std::min<int64_t>(available, frames - written);
        std::memcpy(samples + static_cast<std::ptrdiff_t>(written) * channels,
            chunk.samples.data() + chunk.offsetFrames * channels, static_cast<std::size_t>(take) * channels * sizeof(int16_t));
        chunk.offsetFrames += static_cast<std::size_t>(take);
        written += static_cast<int>(take);
        here += deviceSpan(take, speed, rate);
        if (static_cast<int64_t>(chunk.offsetFrames) * channels >= static_cast<int64_t>(chunk.samples.size())) {
            s.queuedAudio -= MediaTime(static_cast<int64_t>(chunk.samples.size() / channels) * 10'000'000 / rate);
            s.audioChunks.pop_front();
        }
    }
    if (startSpeed == s.audioSpeed && speed == s.audioSpeed) {
        s.audioFramesOut += frames;
    } else {
        // The speed changed within this buffer: the position goes on from where it ended.
        s.audioBase = here + deviceSpan(frames - written, speed, rate);
        s.audioFramesOut = 0;
        s.audioSpeed = speed;
    }
    const bool starting = !s.clock.ticking;
    if (!s.soundFollowsClock) {
        s.clock.set(bufferStart, SteadyClock::now(), s.handedOutAudio(rate));
        s.clock.rate = startSpeed;
        s.clock.ticking = true;
    } else if (s.clock.ticking && s.clock.rate != startSpeed) {
        // On the system timer the clock still takes the pace of the sound made for it.
        const auto now = SteadyClock::now();
        s.clock.set(s.clock.at(now), now);
        s.clock.rate = startSpeed;
    }
    if (s.queuedAudio < audioRefillLevel)
        s.audio.wake.notify_all();
    // A caller that waited for a picture while the clock stood would otherwise sleep out its whole
    // wait while pictures fall due.
    if (starting || (s.audioEnded && s.audioChunks.empty()))
        s.frameWake.notify_all();
    lock.unlock();
    if (frameTraceOn())
        traceFrameEvent('A', std::chrono::duration_cast<std::chrono::milliseconds>(bufferStart).count());
}

void FfmpegBackend::run()
{
    SharedState& s = shared_;
    {
        std::lock_guard lock(s.mutex);
        if (s.running)
            return;
        s.running = true;
        const auto now = SteadyClock::now();
        holdForPicture(now);
        if ((!audio_ || s.soundFollowsClock) && !s.pictureHold) {
            s.clock.set(s.clock.anchorPos, now);
            s.clock.ticking = true;
        }
    }
    s.frameWake.notify_all();
    if (audio_)
        audio_->setPaused(false);
}

void FfmpegBackend::stop()
{
    SharedState& s = shared_;
    {
        std::lock_guard lock(s.mutex);
        if (!s.running)
            return;
        s.running = false;
        s.clock.hold(SteadyClock::now());
    }
    s.frameWake.notify_all();
    if (audio_)
        audio_->setPaused(true);
}

bool FfmpegBackend::running() const
{
    const SharedState& s = shared_;
    std::lock_guard lock(s.mutex);
    return s.running;
}

ChoiceError FfmpegBackend::setSpeed(double speed)
{
    if (!(speed >= slowestSpeed && speed <= fastestSpeed))
        return ChoiceError::OutOfRange;
    if (untimed_)
        return ChoiceError::FixedSpeed;
    SharedState& s = shared_;
    {
        std::lock_guard lock(s.mutex);
        if (speed == s.speed)
            return ChoiceError::None;
        if (audioDecoder_) {
            // The clock follows the sound: it changes pace when the sound made at the new speed is heard.
            postTempoChange(s, speed, audio_->sampleRate(), audio_->channels());
        } else {
            s.speed = speed;
            s.clock.hold(SteadyClock::now());
            s.clock.rate = speed;
            if (s.running && !s.pictureHold) {
                s.clock.set(s.clock.anchorPos, SteadyClock::now());
                s.clock.ticking = true;
            }
        }
    }
    s.frameWake.notify_all();
    return ChoiceError::None;
}

double FfmpegBackend::speed() const
{
    std::lock_guard lock(shared_.mutex);
    return shared_.speed;
}

bool FfmpegBackend::setSoundMode(SoundMode mode)
{
    SharedState& s = shared_;
    std::lock_guard lock(s.mutex);
    if (!audioDecoder_ || untimed_) {
        s.soundMode = mode;
        return false;
    }
    if (mode != s.soundMode)
        postSoundModeChange(s, mode, audio_->sampleRate(), audio_->channels());
    return true;
}

SoundMode FfmpegBackend::soundMode() const
{
    std::lock_guard lock(shared_.mutex);
    return shared_.soundMode;
}

MediaTime FfmpegBackend::time() const
{
    const SharedState& s = shared_;
    std::lock_guard lock(s.mutex);
    if (untimed_)
        return s.lastDelivered;
    return s.clock.at(SteadyClock::now());
}

}
