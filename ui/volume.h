// The wave-out volume as the keyboard commands see it: one level 0..255 for both channels.
#pragma once

namespace sublumen {

struct System;

// Sets `volume` from the device: the high byte of the left channel's 16-bit level.
void readVolume(System& sys);
// Sets both channels of the device to `volume` shifted left by 8 (255 gives 0xFF00).
void writeVolume(System& sys);
// Steps the level read back from the device by step, clamped to 0..255, and writes it.
void changeVolume(System& sys, int step);

}
