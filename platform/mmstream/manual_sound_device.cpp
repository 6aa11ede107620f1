#include "platform/mmstream/manual_sound_device.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace platform {

namespace {

std::atomic<ManualSoundDevice*> inUse {nullptr};

}

ManualSoundDevice::ManualSoundDevice(int rate, int channels, int bufferFrames)
    : rate_(rate > 0 ? rate : 48000)
    , channels_(channels == 1 ? 1 : 2)
    , bufferFrames_(bufferFrames > 0 ? bufferFrames : 1024)
{
    inUse = this;
}

ManualSoundDevice::~ManualSoundDevice()
{
    std::lock_guard lock(mutex_);
    if (output_)
        output_->manual_ = nullptr;
    output_ = nullptr;
    ManualSoundDevice* self = this;
    inUse.compare_exchange_strong(self, nullptr);
}

ManualSoundDevice* ManualSoundDevice::current() { return inUse; }

std::unique_ptr<AudioOutput> ManualSoundDevice::open(AudioOutput::Source source)
{
    std::lock_guard lock(mutex_);
    std::unique_ptr<AudioOutput> output(new AudioOutput());
    output->source_ = std::move(source);
    output->rate_ = rate_;
    output->channels_ = channels_;
    output->bufferFrames_ = bufferFrames_;
    output->manual_ = this;
    output_ = output.get();
    return output;
}

void ManualSoundDevice::closed(AudioOutput* output)
{
    std::lock_guard lock(mutex_);
    if (output_ == output)
        output_ = nullptr;
}

int ManualSoundDevice::play(std::chrono::milliseconds span)
{
    const int64_t wanted = span.count() * rate_ / 1000;
    std::vector<int16_t> buffer(static_cast<std::size_t>(bufferFrames_) * channels_);
    int played = 0;
    while (played < wanted) {
        std::lock_guard lock(mutex_);
        if (!output_ || output_->paused_)
            break;
        AudioOutput::callback(output_, reinterpret_cast<uint8_t*>(buffer.data()),
            static_cast<int>(buffer.size() * sizeof(int16_t)));
        played += bufferFrames_;
    }
    return played;
}

}
