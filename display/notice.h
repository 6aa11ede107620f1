// The one notice: a few words on the status bar's line about what just happened (a screenshot saved, a
// movie passed over, the A-B loop set, a sound device back), for a few seconds. A newer notice takes the
// place of the one shown. It is drawn last, after the screenshot is taken, so that screenshots keep the
// picture and not the player's chatter.
#pragma once

#include "display/display_state.h"
#include "display/frame_drawing.h"

#include <cstdint>
#include <string>

namespace sublumen {

struct System;

// Shows text from now for seconds whole calendar seconds (the second it came in does not count).
void showNotice(System& sys, std::string text, uint32_t seconds);
// The notice in force now; empty when there is none.
std::string noticeText(const System& sys);
// The notice on the status bar's line, after what the line says, noted as the one drawn on this frame.
StatusNotice noticeOnStatusLine(System& sys);
// Last in a composed frame: draws noticeOnStatusLine on the back surface of a frame that shows a movie or the
// end screen.
void drawNotice(System& sys);
// Whether a paused window has to compose a frame because the notice came, changed or went.
bool noticeFrameWanted(const System& sys);
// Once per idle turn: a sound device found again is told for three seconds.
void noteSoundDevice(System& sys);

}
