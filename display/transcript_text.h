// The transcript panel's texts, read from the player's state once per frame.
#pragma once

#include "display/transcript_view.h"

namespace sublumen {

struct System;

// The header and the rows in view on a surface laid out by layout. Scrolls the panel so that the chosen
// line is in view (a third from the top while it follows the movie, so the lines to come show) and
// notes how many rows a page holds.
TranscriptView transcriptView(System& sys, const FrameLayout& layout);

// The panel while it is open, drawn with dc on pixels laid out by layout.
void drawTranscriptPanel(System& sys, HDC dc, platform::PixelView pixels, const FrameLayout& layout);

// A caption's text as one row shows it: its lines joined by a blank, cut after limit characters with "…".
std::string transcriptRowText(const std::string& text, size_t limit);

}
