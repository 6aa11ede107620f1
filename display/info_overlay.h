// The information lines and key summary drawn over the picture while help is on.
#pragma once

#include "display/frame_layout.h"
#include "platform/win32.h"

#include <cstddef>
#include <string>
#include <vector>

namespace sublumen {

// What the overlay shows besides the key summary (display/overlay_text.h builds it from the player's state).
struct OverlayText {
    // The information lines from the top, one row each, already cut to fit.
    std::vector<std::string> lines;
    // The text colour (helpcolor); the shadow pass draws its inverse.
    COLORREF colour = 0;
};

// The overlay in layout.fonts.overlay on dc: the information lines, then the key summary (the command
// table's overlayKeyLines), whose lines past the screen's bottom flow into further columns. Pass 1 is the
// shadow pass (inverted colour, one pixel right and down), pass 0 the normal pass.
void drawInfoOverlay(HDC dc, const FrameLayout& layout, const OverlayText& text, int pass);

// Cuts text in place to fit a buffer of size bytes (terminator included), ending with a complete
// character: UTF-8 when the text is valid UTF-8, CP949 otherwise.
void fitLine(char* text, size_t size);

}
