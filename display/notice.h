// The one notice: a few words on the status bar's line about what just happened (a screenshot saved, a
// movie passed over, the A-B loop set, a sound device back), for a few seconds. A newer notice takes the
// place of the one shown. Composition draws it last (frameOf, composeFrame), after the screenshot is taken,
// so that screenshots keep the picture and not the player's chatter.
#pragma once

#include <cstdint>
#include <string>

namespace sublumen {

struct System;

// Shows text from now for seconds whole calendar seconds (the second it came in does not count).
void showNotice(System& sys, std::string text, uint32_t seconds);
// The notice in force now; empty when there is none.
std::string noticeText(const System& sys);
// Whether a paused window has to compose a frame because the notice came, changed or went.
bool noticeFrameWanted(const System& sys);
// Once per idle turn: a sound device found again is told for three seconds.
void noteSoundDevice(System& sys);

}
