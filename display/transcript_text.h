// The transcript panel's texts, read from the player's state once per frame.
#pragma once

#include "display/transcript_view.h"

#include <cstdint>
#include <optional>

namespace sublumen {

struct System;

// The header and the rows in view on a surface laid out by layout. Scrolls the panel so that the chosen
// line is in view (a third from the top while it follows the movie, so the lines to come show) and
// notes how many rows a page holds. The row shown at caption time shownAt is marked (the time read from the
// stream when not given).
TranscriptView transcriptView(System& sys, const FrameLayout& layout,
    std::optional<uint32_t> shownAt = std::nullopt);

// The panel while it is open, drawn with dc on pixels laid out by layout.
void drawTranscriptPanel(System& sys, HDC dc, platform::PixelView pixels, const FrameLayout& layout,
    std::optional<uint32_t> shownAt = std::nullopt);

// A caption's text as one row shows it: its lines joined by a blank, cut after limit characters with "…".
std::string transcriptRowText(const std::string& text, size_t limit);

}
