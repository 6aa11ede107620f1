#include "platform/audio_volume.h"

#include <atomic>

namespace {

// Read by the audio thread on every buffer, written by the main thread.
std::atomic<DWORD> masterLevel {0xFFFFFFFFu};

inline int16_t scaled(int16_t sample, uint32_t level)
{
    // 0xFFFF is unity, so full volume leaves the sound untouched.
    if (level >= 0xFFFF)
        return sample;
    return static_cast<int16_t>((static_cast<int32_t>(sample) * static_cast<int32_t>(level)) / 65536);
}

}

MMRESULT waveOutGetVolume(HWAVEOUT device, DWORD* volume)
{
    if (device != nullptr)
        return MMSYSERR_BADDEVICEID;
    if (!volume)
        return MMSYSERR_INVALPARAM;
    *volume = masterLevel.load(std::memory_order_relaxed);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutSetVolume(HWAVEOUT device, DWORD volume)
{
    if (device != nullptr)
        return MMSYSERR_BADDEVICEID;
    masterLevel.store(volume, std::memory_order_relaxed);
    return MMSYSERR_NOERROR;
}

namespace platform {

void applyMasterVolume(int16_t* samples, int frames, int channels)
{
    DWORD level = masterLevel.load(std::memory_order_relaxed);
    uint32_t left = level & 0xFFFF;
    uint32_t right = level >> 16;
    if (left == 0xFFFF && right == 0xFFFF)
        return;
    if (channels == 1) {
        uint32_t both = (left + right) / 2;
        for (int i = 0; i < frames; ++i)
            samples[i] = scaled(samples[i], both);
        return;
    }
    for (int i = 0; i < frames; ++i) {
        int16_t* frame = samples + static_cast<std::ptrdiff_t>(i) * channels;
        frame[0] = scaled(frame[0], left);
        frame[1] = scaled(frame[1], right);
    }
}

}
