// The playback speed: [ and ] step it by a tenth between 0.5 and 2.0, Backspace returns to the normal
// speed, and the desktop may set it. Picture, sound and captions follow the stream's clock, which keeps
// movie time, so captions and their shift need nothing of their own. Not saved; a movie started next (the
// next of a list, a reopened one) plays at the speed chosen.
#pragma once

#include "app/command_argument.h"

#include <string>

namespace sublumen {

struct System;

// step +1 or -1: one tenth faster or slower, within 0.5 and 2.0; 0: the normal speed again.
void stepPlaybackSpeed(System& sys, int step);
// Sets the speed, rounded to a tenth within 0.5 and 2.0; returns the speed set.
double setPlaybackSpeed(System& sys, double speed);
// The desktop's rate, argument.rate: 0 pauses, as the desktop's players do; any other is setPlaybackSpeed's.
void setRate(System& sys, CommandArgument argument);
// A stream just opened plays at the speed chosen.
void applyPlaybackSpeed(System& sys);
// What the overlay and the status bar say of the speed, "재생 속도:1.5x"; empty at the normal speed.
std::string playbackSpeedText(const System& sys);

}
