// The transcript panel drawn over the right third of the screen (all of a screen 320 pixels wide or
// less) in the overlay's font and colour, over the picture darkened so that the lines stay legible:
// a header with the query and the count, then one row per caption with its time, the second caption's
// line under it. The chosen line has a bar, the caption shown now is green like the status bar.
#pragma once

#include "display/frame_layout.h"
#include "platform/surface.h"
#include "platform/win32.h"

#include <cstddef>
#include <string>
#include <vector>

namespace sublumen {

struct TranscriptView {
    struct Row {
        std::string time;
        // One line each: a caption of several lines is joined, and a long one cut.
        std::string text;
        std::string second;
        bool chosen = false;
        bool current = false;
    };
    std::string header;
    std::vector<Row> rows;
    // Whether rows have room for the second caption's line.
    bool secondLines = false;
    COLORREF colour = 0;
};

// Where the panel is on a surface laid out by layout: the right third, above the status bar's row.
RECT transcriptPanelRect(const FrameLayout& layout);
// How many caption rows fit in the panel.
size_t transcriptRowsFitting(const FrameLayout& layout, bool secondLines);
// Darkens the panel's place in pixels and draws view on dc, which draws on the same pixels.
void drawTranscript(HDC dc, platform::PixelView pixels, const FrameLayout& layout, const TranscriptView& view);

}
