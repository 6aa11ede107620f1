#include "platform/mmstream/audio_output.h"

#include "platform/audio_volume.h"
#include "platform/mmstream/manual_sound_device.h"
#include "platform/kernel.h"
#include "platform/sound_device.h"

#include <SDL.h>

namespace platform {

std::unique_ptr<AudioOutput> AudioOutput::open(int sampleRate, int channels, Source source)
{
    if (ManualSoundDevice* manual = ManualSoundDevice::current())
        return manual->open(std::move(source));
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        platformLog("audio: no audio driver (%s); playing silently on the system timer\n", SDL_GetError());
        return nullptr;
    }
    std::unique_ptr<AudioOutput> output(new AudioOutput());
    output->source_ = std::move(source);

    SDL_AudioSpec wanted {};
    wanted.freq = sampleRate > 0 ? sampleRate : 48000;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(channels >= 2 ? 2 : 1);
    // About 20 ms per callback keeps the clock fine-grained without starving the device.
    int samples = 512;
    while (samples < wanted.freq / 50)
        samples *= 2;
    wanted.samples = static_cast<Uint16>(samples);
    wanted.callback = &AudioOutput::callback;
    wanted.userdata = output.get();

    SDL_AudioSpec obtained {};
    SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained,
        SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE | SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (device == 0) {
        platformLog("audio: the default device cannot be opened (%s); playing silently on the system timer\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    if (obtained.channels > 2) {
        // A device that insists on more channels than we mix for is treated as no device.
        platformLog("audio: the default device wants %d channels; playing silently\n", obtained.channels);
        SDL_CloseAudioDevice(device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    // Under the device lock, so that the callback thread sees the format it is handed.
    SDL_LockAudioDevice(device);
    output->device_ = device;
    output->rate_ = obtained.freq;
    output->channels_ = obtained.channels;
    output->bufferFrames_ = obtained.samples;
    SDL_UnlockAudioDevice(device);
    if (soundDeviceNotice().change == SoundDeviceChange::Lost)
        noteSoundDeviceChange(SoundDeviceChange::Back);
    return output;
}

AudioOutput::~AudioOutput()
{
    if (manual_)
        manual_->closed(this);
    if (device_ != 0) {
        // Closing waits for a running callback, so source_ outlives every call into it.
        SDL_CloseAudioDevice(device_);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

void AudioOutput::setPaused(bool paused)
{
    if (manual_) {
        std::lock_guard lock(manual_->mutex_);
        paused_ = paused;
        return;
    }
    paused_ = paused;
    SDL_PauseAudioDevice(device_, paused ? 1 : 0);
    // Taking the device lock waits for a callback in progress.
    SDL_LockAudioDevice(device_);
    SDL_UnlockAudioDevice(device_);
}

void AudioOutput::callback(void* self, uint8_t* stream, int length)
{
    auto* output = static_cast<AudioOutput*>(self);
    int frames = length / (2 * output->channels_);
    auto* samples = reinterpret_cast<int16_t*>(stream);
    output->source_(samples, frames, output->rate_, output->channels_);
    applyMasterVolume(samples, frames, output->channels_);
}

}
