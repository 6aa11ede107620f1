// Composing and presenting one frame: borders, the decoded picture, status bar, caption, overlay. The
// routines here read the system record and hand the drawing steps (display/frame_drawing.h,
// display/info_overlay.h) the few inputs they draw.
#pragma once

#include "display/frame_drawing.h"
#include "display/frame_layout.h"
#include "platform/surface.h"
#include "platform/win32.h"

#include <cstdint>
#include <string>

namespace sublumen {

struct System;

// Composes one frame on the back surface and presents it; called once per Run turn of the main loop.
void renderFrame(System& sys);
// Advances the movie, copies its picture to the back surface and draws the status bar and the captions
// over it.
void drawVideo(System& sys);
void presentFrame(System& sys);
// The frame's layout at the screen's size: the settings, the video placement and the player's fonts.
FrameLayout frameLayout(const System& sys);
// What the frame shows under its texts: the movie, the end screen or nothing.
FrameContent frameContent(const System& sys);
// The status bar for playback time t (milliseconds) of the current movie.
StatusBar statusBar(const System& sys, uint32_t t);
// The captions drawn in our style at stream time streamTime, none while captions are off.
CaptionsShown captionsShown(const System& sys, uint32_t streamTime);
// The picture captions and the captions drawn as authored in force now, blended onto target as the layout
// places them: after the status bar and the captions in our style, which they cover.
void blendCaptionPictures(System& sys, platform::PixelView target, const FrameLayout& layout);
// Whether a movie is open and playable, so that its picture, status bar and caption are drawn.
bool movieShown(const System& sys);
// What the status line says besides the time while it holds (a sound device gone, study mode, the speed),
// empty for nothing; the notice (display/notice.h) comes after it.
std::string statusNoticeText(const System& sys);
// The status bar's text for playback time t: the time, then statusNoticeText.
std::string statusLineText(const System& sys, uint32_t t);

}
