// How a movie's sound is mixed for listening: as it is, with the dialogue raised above the music and the
// effects, or with the dialogue raised and the loud and the quiet brought together for the night.
#pragma once

#include <cstdint>

namespace platform {

enum class SoundMode {
    Normal,
    ClearDialogue,
    Night,
};

// The channels of a sound: how many, and which is which as an FFmpeg channel mask (0: the usual layout
// of that many channels).
struct SoundLayout {
    int channels = 2;
    uint64_t mask = 0;

    bool operator==(const SoundLayout&) const = default;
};

}
