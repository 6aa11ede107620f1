// Study mode, which pauses the movie as each caption ends, and the A-B loop, which plays one stretch of
// the movie over and over. The keys call in here, and frame composition once per frame.
#pragma once

#include <string>

namespace sublumen {

struct System;

// Z: study mode on or off. Turned on where the movie has no captions, it says so once.
void toggleStudyMode(System& sys);
// F2: marks A at the current time, then B, then clears the loop. A B before A swaps the two, a B past
// the end is the end, and a B at A is refused with A kept. Nothing without a shown movie.
void markLoopPoint(System& sys);
// Ctrl+Up in study mode: the caption shown (or last shown) becomes the loop and plays from its start.
// False, with nothing done, when study mode is off.
bool loopCurrentCaption(System& sys);
// Once per composed frame of a shown movie, after the stream was advanced: a loop whose end comes
// before the next frame goes back to A, and in study mode a caption that the next frame would clear or
// replace pauses the movie as Space does, on its last frame.
void followStudyAndLoop(System& sys);
// What the status bar says while study mode is on; each change is told by the notice (display/notice.h).
std::string studyStatusText(const System& sys);

}
