// How the sound is mixed (the soundmode setting): as the movie has it, with the dialogue raised over the
// music and effects, or for the night, the dialogue raised and the loud and the quiet brought together.
// Every movie started plays in the mode chosen; the change is heard within a few hundred milliseconds.
#pragma once

#include <cstdint>
#include <string>

namespace sublumen {

struct System;

// The values of soundmode; anything else is taken as soundModeNormal.
constexpr int32_t soundModeNormal = 0;
constexpr int32_t soundModeClearDialogue = 1;
constexpr int32_t soundModeNight = 2;

// F4: normal, clear dialogue, night, normal again; the stream plays on in the new mode, which the
// status bar names for three seconds.
void cycleSoundMode(System& sys);
// A stream just opened plays in the mode chosen.
void applySoundMode(System& sys);
// What the status bar says of the mode: "보통 소리", "대사 또렷하게" or "야간 모드", with what the movie's
// sound allows ("소리 없음" for a movie without sound, mono noted).
std::string soundModeText(const System& sys);

}
