// Line breaking and measuring of a text in one font, as DrawTextA lays it out.
#pragma once

#include "platform/gdi/font.h"

#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct PlacedGlyph {
    const Glyph* glyph;
    int x;  // pen position from the start of the line
};

struct TextLine {
    std::vector<PlacedGlyph> glyphs;
    int width = 0;  // up to the pen position after the last non-blank character
    // Rows that glyphs from fallback faces reach above the top and below the bottom of the font's cell:
    // an accented capital from another face may stand taller than the selected face's cell.
    int above = 0;
    int below = 0;
};

struct TextLayout {
    std::vector<TextLine> lines;
    int widest = 0;
};

// The rows a line takes in a block of text: the font's cell, grown to hold every glyph of the line.
inline int lineHeight(const TextLine& line, int cellHeight) { return line.above + cellHeight + line.below; }

enum class Breaking {
    SingleLine,  // line breaks are not acted on
    AtLineBreaks,  // LF, CR and a CR LF pair each break once
    WordWrap,  // line breaks, and wrapping at blanks to fit a width
};

// Lays out text (bytes, decoded for display) in font. With WordWrap lines that do not fit maxWidth are
// wrapped at blanks; a word wider than maxWidth is broken between characters. A break at the very end of
// the text starts no further line.
TextLayout layoutText(FontObject& font, std::string_view text, Breaking breaking, int maxWidth);

// The last layout made through it, reused while text, font, breaking and width stay the same.
class TextLayoutCache {
public:
    const TextLayout& get(FontObject& font, std::string_view text, Breaking breaking, int maxWidth);

private:
    uint64_t fontSerial = 0;
    std::string text;
    Breaking breaking = Breaking::SingleLine;
    int maxWidth = 0;
    TextLayout layout;
};

}
