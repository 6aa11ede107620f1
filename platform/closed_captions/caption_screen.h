// What the TV caption decoders (CEA-708 services, CEA-608 channels) say a screen shows: the text of
// each visible window, as plain UTF-8 with one line per row.
#pragma once

#include <chrono>
#include <span>
#include <string>
#include <vector>

namespace platform {

// Caption times inside the decoders: the time of the picture whose caption data is being read.
using CaptionClock = std::chrono::milliseconds;

struct ShownWindow {
    int window = 0;     // CEA-708: the window's number, 0 to 7; CEA-608: 0
    int position = 0;   // where it sits, top to bottom (the row of its top edge, in some scale)
    std::string text;   // its rows that hold text, trimmed, joined by line breaks

    bool operator==(const ShownWindow&) const = default;
};

// The visible windows of one service or channel, ordered top to bottom (then by number).
using CaptionScreen = std::vector<ShownWindow>;

// Adds one row of character cells to a window's text: cells of 0 are blanks, blanks at either end are
// left out, and a row without text adds nothing; rows are joined by line breaks.
void appendRowText(std::string& text, std::span<const char32_t> row);

}
