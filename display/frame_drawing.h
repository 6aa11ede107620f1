// The drawing steps of a frame on a device context: borders, the end screen, the status bar, the captions
// drawn in our own style. Each draws only what it is given, laid out by a FrameLayout, so it can be called
// again on another surface with a scaled layout.
#pragma once

#include "caption/sound_descriptions.h"
#include "display/frame_layout.h"
#include "platform/win32.h"

#include <cstdint>
#include <string>

namespace sublumen {

class Caption;

// What the frame shows under its texts: a movie (black borders around the picture), the end screen
// (black all over), or nothing (the last frame stays).
enum class FrameContent { Movie, EndScreen, Nothing };

// The status bar's line and marks.
struct StatusBar {
    // The time and the notices after it, as the bar shows them.
    std::string line;
    // The notices alone, what the line shows while the bar is off; empty for none.
    std::string notice;
    // Playback time and the movie's length in milliseconds, the volume 0 to 255.
    uint32_t time = 0;
    uint32_t duration = 0;
    int32_t volume = 0;
};

// The captions drawn in our style and the caption times they are drawn at: the first in the caption band,
// the second above it. Either may be missing; they are drawn (and keep what they last drew), never owned.
struct CaptionsShown {
    Caption* first = nullptr;
    uint32_t firstTime = 0;
    Caption* second = nullptr;
    uint32_t secondTime = 0;
    // Whether both keep their sound descriptions and speaker labels.
    SoundDescriptions descriptions = SoundDescriptions::Shown;
};

// A notice drawn on the status bar's line after what the line already says (before), left of the
// volume scale while the bar is drawn (barShown); an empty text draws nothing.
struct StatusNotice {
    std::string before;
    std::string text;
    bool barShown = false;
};

// A NUL-terminated text with its top-left at (x, y); returns what TextOutA returns.
BOOL drawText(HDC dc, int x, int y, const char* text);
// Black around the picture for a movie, black all over for the end screen, nothing otherwise.
void fillBorders(HDC dc, const FrameLayout& layout, FrameContent content);
// "< THE END >" in the middle, the notices on the status bar's line.
void drawEndScreen(HDC dc, const FrameLayout& layout, const std::string& notice);
// The status bar: the line, the volume scale and its mark, the position mark.
void drawSeekBar(HDC dc, const FrameLayout& layout, const StatusBar& bar);
// The status bar while layout.seekbar is set, else its notices alone.
void drawStatusBar(HDC dc, const FrameLayout& layout, const StatusBar& bar);
// A text on the status bar's line from x (in screen pixels), in its font and colour.
void drawStatusText(HDC dc, const FrameLayout& layout, int x, const char* text);
// The notice on the status bar's line, in the bar's font and colour.
void drawStatusNotice(HDC dc, const FrameLayout& layout, const StatusNotice& notice);
// The captions in the caption font: the first in the band, the second above it (over the first's text and
// the band's top, or from the picture's top down when it does not fit above).
void drawCaptions(HDC dc, const FrameLayout& layout, const CaptionsShown& captions);

}
