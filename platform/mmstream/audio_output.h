// The default audio device, fed by a callback on the device's own thread. The master volume is applied
// to everything it plays.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

class ManualSoundDevice;

class AudioOutput {
public:
    // Fills frames × channels interleaved 16-bit samples at rate; runs on the audio thread and must
    // not block.
    using Source = std::function<void(int16_t* samples, int frames, int rate, int channels)>;

    // Opens the default device near the asked format (it may pick its own rate and channel count; at
    // most 2 channels). Starts paused. Returns nullptr, with a platform log line, when there is no device.
    static std::unique_ptr<AudioOutput> open(int sampleRate, int channels, Source source);

    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    int sampleRate() const { return rate_; }
    int channels() const { return channels_; }
    // Frames the device takes per callback; the sound heard lags what was handed over by about this much.
    int bufferFrames() const { return bufferFrames_; }
    // Pausing stops the callbacks; on return no callback is running.
    void setPaused(bool paused);

    enum class DeviceChange { None, Lost, Replaced };
    // Called often by the one thread that pauses the output. Notices a device that went away (its
    // callbacks go on at the device's pace, the sound unheard) and, at most once a second from then on,
    // opens the default device again in the same format, the sound server converting to whatever rate
    // it now has. Replaced: the callbacks come from the new device, which is left paused.
    DeviceChange keepDevice();

private:
    friend class ManualSoundDevice;
    AudioOutput() = default;
    static void callback(void* self, uint8_t* stream, int length);

    uint32_t device_ = 0;
    bool paused_ = true;
    bool lost_ = false;
    std::chrono::steady_clock::time_point nextAttempt_ {};
    int rate_ = 0;
    int channels_ = 0;
    int bufferFrames_ = 0;
    Source source_;
    // A device that plays only when told to (manual_sound_device.h) instead of SDL's.
    ManualSoundDevice* manual_ = nullptr;
};

}
