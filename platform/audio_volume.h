// Wave-out volume: one master level per channel that the audio output applies to every sample it plays.
// Device 0 is the only device; the level starts at full volume.
#pragma once

#include "platform/win32.h"

#include <cstdint>

struct WaveOutObject;
using HWAVEOUT = WaveOutObject*;
using MMRESULT = UINT;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;

// The level of device 0: left channel in the low word, right channel in the high word (0..65535 each).
MMRESULT waveOutGetVolume(HWAVEOUT device, DWORD* volume);
MMRESULT waveOutSetVolume(HWAVEOUT device, DWORD volume);

namespace platform {

// Scales interleaved 16-bit samples by the master level: channel 0 by the left level, channel 1 by
// the right one; a single channel takes the mean of both.
void applyMasterVolume(int16_t* samples, int frames, int channels);

}
