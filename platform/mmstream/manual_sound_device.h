// A sound device that plays only when told to. While one lives, every AudioOutput opened is its: the
// stream's clock, which follows the sound handed to the device, then moves only as far as play() has
// played, however fast or slow the machine runs. For tests.
#pragma once

#include "platform/mmstream/audio_output.h"

#include <chrono>
#include <memory>
#include <mutex>

namespace platform {

class ManualSoundDevice {
public:
    // One at a time.
    explicit ManualSoundDevice(int rate = 48000, int channels = 2, int bufferFrames = 1024);
    ~ManualSoundDevice();
    ManualSoundDevice(const ManualSoundDevice&) = delete;
    ManualSoundDevice& operator=(const ManualSoundDevice&) = delete;

    // Plays at least span of sound through the open output in buffers of bufferFrames(), as the
    // device's own thread would; nothing while no output is open or it is paused. The frames played.
    int play(std::chrono::milliseconds span);
    int rate() const { return rate_; }
    int bufferFrames() const { return bufferFrames_; }

    // The device that outputs open on now, or null.
    static ManualSoundDevice* current();

private:
    friend class AudioOutput;
    std::unique_ptr<AudioOutput> open(AudioOutput::Source source);
    void closed(AudioOutput* output);

    // Held while a buffer plays, like a device's lock, so that pausing waits for it.
    std::mutex mutex_;
    AudioOutput* output_ = nullptr;
    int rate_;
    int channels_;
    int bufferFrames_;
};

}
