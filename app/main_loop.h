// The entry routine, the main loop and the rebuilding of the display.
#pragma once

#include "platform/window/window.h"

#include <cstdint>

namespace sublumen {

struct System;

// Starts the system, runs the loop until WM_QUIT or a failed re-initialisation, takes it down.
// Returns -1 when start-up fails, else 0.
int winMain(System& sys, HINSTANCE instance, const char* commandTail);
enum class LoopOutcome { Continue, End };
// One pass of the loop: the next queued message, or, with the queue empty, one idle turn followed by
// the re-initialisation check. End on WM_QUIT and when re-initialisation fails.
LoopOutcome loopTurn(System& sys, HACCEL accelerators);
// One idle turn chosen by PlayState.
void idleTurn(System& sys);
// The frame of a turn, step by step: the movie advances (the picture due decoded and handed out, the
// captions its streams read taken and read, the stall rule applied), study mode and the A-B loop follow it,
// the frame is read from the system once (frameOf), the transcript panel and the spoken captions follow
// it, and it is composed and presented.
void renderFrame(System& sys);
// Rebuilds the display for the current settings, keeping the movie and its position; 0 or -1.
int ReInit(System& sys);
// Once-per-turn seconds bookkeeping of the frame counter; returns the current calendar second.
uint32_t clockTick(System& sys);

}
