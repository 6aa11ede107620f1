// What the drawing steps of a frame are laid out by: the surface's size, the caption band, the status bar,
// the picture's place and the fonts, in the pixels of the surface drawn on. The steps read nothing else
// of the player's state, so the same drawing can be made again on another surface at another scale.
#pragma once

#include "display/video_placement.h"
#include "platform/win32.h"

#include <cstdint>

namespace sublumen {

// The fonts a frame's texts are drawn in; each must have been made for the layout's scale.
struct FrameFonts {
    HFONT caption = nullptr;  // the captions drawn in our own style
    HFONT status = nullptr;   // the status bar's line and the notices on it
    HFONT overlay = nullptr;  // the information overlay
};

struct FrameLayout {
    // The surface drawn on (screenx × screeny at scale 1).
    int32_t width = 640;
    int32_t height = 480;
    // The caption band's height above the bottom edge (fontposy) and the caption font's size (fontsize).
    int32_t fontposy = 100;
    int32_t fontsize = 24;
    // The caption style flags (effects and placement); not a size, so never scaled.
    int32_t captionstyle = 0;
    // What is drawn behind the caption's lines (captionbox), likewise never scaled.
    int32_t captionbox = 0;
    // Whether the status bar (time, volume scale, position mark) is drawn at the bottom.
    bool seekbar = true;
    // The shown part of the movie's picture (src, in the picture's pixels) and where it lands (dst, in
    // the surface's pixels).
    VideoPlacement video;
    // The movie's picture size, 0 × 0 without a movie; the picture's pixels, never scaled.
    int32_t pictureWidth = 0;
    int32_t pictureHeight = 0;
    // The surface's pixels per screen pixel: the status bar's rows and marks, the overlay's lines, the
    // captions' margins and effects and the picture captions' default size are fixed screen sizes
    // multiplied by it.
    double scale = 1.0;
    // What the status bar, the overlay, the notices and the picture captions' default size are enlarged by
    // beyond scale: at the desktop's own size they are drawn for the screen's height, as an enlarged
    // 640x480 shows them (desktopTextScale).
    double textScale = 1.0;
    FrameFonts fonts;

    // A fixed size of the screen's pixels in the surface's pixels.
    int32_t px(int32_t screenPixels) const;
    // The same for the status bar, the overlay and the notices: textScale times px.
    int32_t textPx(int32_t screenPixels) const;
};

// The factor for the status bar, the overlay and the notices on a screen of width × height: its height
// over 480 (never below 1) at the desktop's own size, which is any size but the eight of keys 1 to 8; 1
// at those, which keep the sizes they were drawn at.
double desktopTextScale(int32_t width, int32_t height);

// The layout for a surface factor times the size: every size and position (the picture's destination
// included) multiplied by factor and rounded, the picture's source and the style kept; a factor that is
// not a positive number leaves it as it is. The fonts are kept too: the caller puts fonts made at the
// scaled sizes in their place, and the exact size of the surface when it knows it.
FrameLayout scaledLayout(const FrameLayout& layout, double factor);

}
