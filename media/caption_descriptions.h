// Captions for the hard of hearing, as written or without their sound descriptions, lyrics and speaker
// labels: the choice is the movie's, remembered under the memory field "descriptions" ("hidden" when
// they are left out); every movie starts with them as written.
#pragma once

#include "caption/sound_descriptions.h"

namespace sublumen {

struct System;

inline constexpr const char* descriptionsField = "descriptions";
inline constexpr const char* descriptionsHidden = "hidden";

// Whether the movie's captions keep their descriptions now.
SoundDescriptions shownDescriptions(const System& sys);
// F7: leaves the descriptions out of the movie's captions, or brings them back; remembered, logged and
// told on the status bar.
void switchSoundDescriptions(System& sys);

}
