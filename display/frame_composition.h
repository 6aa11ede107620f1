// Composing and presenting one frame: borders, the decoded picture, status bar, caption, overlay.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <string>

namespace sublumen {

struct System;

// Composes one frame on the back surface and presents it; called once per Run turn of the main loop.
void renderFrame(System& sys);
void fillBorders(System& sys);
void drawVideo(System& sys);
void presentFrame(System& sys);
// The status bar: time text, volume scale and mark, position mark. Only while a movie is shown.
void drawSeekBar(System& sys, HDC dc);
// The status bar for playback time t (milliseconds) of a movie of movieDuration.
void drawSeekBar(System& sys, HDC dc, uint32_t t);
// Whether a movie is open and playable, so that its picture, status bar and caption are drawn.
bool movieShown(const System& sys);
// The status line's notices (a movie passed over, a resumed one, study mode and the loop), empty for none.
std::string statusNoticeText(const System& sys);
// The status bar's text for playback time t: the time, then the notices.
std::string statusLineText(const System& sys, uint32_t t);
// The status bar, or its notices without it, and the captions in force at streamTime, drawn on dc.
void drawTexts(System& sys, HDC dc, uint32_t streamTime);
// pixels in the pixels texts are drawn at: the same at 1, scaled on an enlarged screen.
int32_t textPixels(const System& sys, int32_t pixels);
// A NUL-terminated text with its top-left at (x, y); returns what TextOutA returns.
BOOL drawText(HDC dc, int x, int y, const char* text);

}
