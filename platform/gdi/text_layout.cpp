#include "platform/gdi/text_layout.h"

#include "platform/gdi/text_decoding.h"

#include <algorithm>

namespace platform {

namespace {

bool isBlank(char32_t c) { return c == U' ' || c == U'\t' || c == 0x3000; }

// Wraps one paragraph (text between line breaks) into lines no wider than maxWidth.
void wrapParagraph(FontObject& font, std::u32string_view text, bool wrap, int maxWidth, TextLayout& out)
{
    std::vector<const Glyph*> glyphs;
    glyphs.reserve(text.size());
    for (char32_t c : text)
        glyphs.push_back(&font.glyph(c));

    auto emit = [&](size_t begin, size_t end) {
        TextLine line;
        int pen = 0;
        for (size_t i = begin; i < end; ++i) {
            const Glyph& g = *glyphs[i];
            line.glyphs.push_back({ &g, pen });
            pen += g.advance;
            if (!isBlank(text[i]))
                line.width = pen;
            // The selected face's own glyphs keep the cell its metrics give, even where antialiasing spills
            // a row past it.
            if (g.fallback && g.height > 0) {
                line.above = std::max(line.above, -g.top);
                line.below = std::max(line.below, g.top + g.height - font.cellHeight());
            }
        }
        if (!wrap)
            line.width = pen;
        out.widest = std::max(out.widest, line.width);
        out.lines.push_back(std::move(line));
    };

    if (!wrap) {
        emit(0, text.size());
        return;
    }
    size_t begin = 0;
    do {
        int pen = 0;
        size_t i = begin;
        size_t lastBlank = SIZE_MAX;  // a blank after some non-blank in this line
        bool seenWord = false;
        while (i < text.size()) {
            if (isBlank(text[i])) {
                // Blanks may hang past the edge; they are where a line may end.
                if (seenWord)
                    lastBlank = i;
                pen += glyphs[i]->advance;
                ++i;
                continue;
            }
            if (pen + glyphs[i]->advance > maxWidth && i > begin)
                break;
            pen += glyphs[i]->advance;
            seenWord = true;
            ++i;
        }
        if (i == text.size()) {
            emit(begin, i);
            break;
        }
        size_t end = lastBlank != SIZE_MAX ? lastBlank : i;  // else the word itself is split
        emit(begin, end);
        begin = end;
        while (begin < text.size() && isBlank(text[begin]))
            ++begin;
    } while (begin < text.size());
}

}

TextLayout layoutText(FontObject& font, std::string_view bytes, Breaking breaking, int maxWidth)
{
    TextLayout layout;
    std::u32string text = decodeForDisplay(bytes);
    if (text.empty())
        return layout;
    if (breaking == Breaking::SingleLine) {
        wrapParagraph(font, text, false, maxWidth, layout);
        return layout;
    }
    const bool wrap = breaking == Breaking::WordWrap;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != U'\n' && text[end] != U'\r')
            ++end;
        wrapParagraph(font, std::u32string_view(text).substr(start, end - start), wrap, maxWidth, layout);
        if (end == text.size())
            break;
        // CR LF is one break.
        start = end + 1;
        if (text[end] == U'\r' && start < text.size() && text[start] == U'\n')
            ++start;
    }
    return layout;
}

const TextLayout& TextLayoutCache::get(FontObject& font, std::string_view bytes, Breaking how, int width)
{
    if (font.serial() != fontSerial || how != breaking || width != maxWidth || bytes != text) {
        layout = layoutText(font, bytes, how, width);
        fontSerial = font.serial();
        breaking = how;
        maxWidth = width;
        text.assign(bytes);
    }
    return layout;
}

}
