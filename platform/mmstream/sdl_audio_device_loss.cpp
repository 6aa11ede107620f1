// A sound device that goes away while it plays: headphones unplugged, the sound server restarted.
// SDL keeps calling a lost device's callback at the device's pace and drops the sound, so the clock and
// the sound queue go on as before; what is missing is a device to hear it on, looked for here.
#include "platform/mmstream/audio_output.h"

#include "platform/kernel.h"
#include "platform/sound_device.h"

#include <SDL.h>

namespace platform {

namespace {

constexpr auto reopenInterval = std::chrono::seconds(1);

}

AudioOutput::DeviceChange AudioOutput::keepDevice()
{
    const auto now = std::chrono::steady_clock::now();
    if (!lost_) {
        // A device that SDL has given up on reports itself stopped, paused or not.
        if (device_ == 0 || SDL_GetAudioDeviceStatus(device_) != SDL_AUDIO_STOPPED)
            return DeviceChange::None;
        lost_ = true;
        nextAttempt_ = now + reopenInterval;
        platformLog("audio: the sound device went away; the movie plays on and the default device is looked for "
                    "once a second\n");
        noteSoundDeviceChange(SoundDeviceChange::Lost);
        return DeviceChange::Lost;
    }
    if (now < nextAttempt_)
        return DeviceChange::None;
    nextAttempt_ = now + reopenInterval;

    // The same format as before, whatever the device now takes: the decoded sound already queued, and the
    // decoder making it, stay as they are.
    SDL_AudioSpec wanted {};
    wanted.freq = rate_;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(channels_);
    wanted.samples = static_cast<Uint16>(bufferFrames_);
    wanted.callback = &AudioOutput::callback;
    wanted.userdata = this;
    SDL_AudioSpec obtained {};
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device == 0)
        return DeviceChange::None;
    // Closing the lost device waits for its callback; from here on only the new one calls.
    SDL_CloseAudioDevice(device_);
    device_ = device;
    lost_ = false;
    platformLog("audio: the default device is back (%d Hz, %d channels); the sound goes on\n", obtained.freq,
        obtained.channels);
    noteSoundDeviceChange(SoundDeviceChange::Back);
    return DeviceChange::Replaced;
}

}
