// Fonts of the GDI stand-in: a face found by name through fontconfig, rendered by FreeType, with every
// glyph rasterised once and kept. FreeType's types stay inside the font files.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

// An anti-aliased glyph image placed in the text cell: coverage 0..255, top row first.
struct Glyph {
    int left = 0;     // first column relative to the pen position
    int top = 0;      // first row relative to the top of the cell
    int width = 0;
    int height = 0;
    int advance = 0;  // pen advance in whole pixels
    bool fallback = false;  // drawn from another face than the selected one, whose cell it may not fit
    // Per row, the first and one past the last column with any coverage, so that blending skips
    // the empty margins that make up most of a glyph box.
    std::vector<uint16_t> rowStart;
    std::vector<uint16_t> rowEnd;
    std::vector<uint8_t> coverage;
};

struct FontFaces;

// Where the application's font configuration is looked for: beside the program (installed and
// build-tree layouts) and then in the source tree. Empty when none is found.
std::string findFontConfiguration();

}

// An HFONT: one requested face, size and weight, with its glyph cache.
struct FontObject {
    FontObject(std::unique_ptr<platform::FontFaces> faces, int cellHeight, int ascent);
    ~FontObject();
    FontObject(const FontObject&) = delete;
    FontObject& operator=(const FontObject&) = delete;

    // The glyph of one code point, rendered on first use; a character no installed font has shows the
    // face's missing-glyph box. The reference stays valid for the font's life.
    const platform::Glyph& glyph(char32_t c);
    int cellHeight() const { return cellHeight_; }
    int ascent() const { return ascent_; }
    // Distinguishes fonts over time even when a new font reuses a deleted one's address.
    uint64_t serial() const { return serial_; }
    // The family name of the primary face (for diagnostics and tests).
    const std::string& familyName() const;
    bool syntheticBold() const;
    // What the font was asked for, so that it can be made again at another size.
    int requestedHeight = 0;
    int requestedWeight = 0;
    std::string requestedFace;

private:
    std::unique_ptr<platform::FontFaces> faces_;
    int cellHeight_;
    int ascent_;
    uint64_t serial_;
    std::unordered_map<char32_t, platform::Glyph> cache_;
};

namespace platform {

// The font a device context draws with when none is selected: 굴림체, 16 pixels, regular. Null when
// no font can be loaded at all.
FontObject* defaultFont();

}

namespace platform {

// Selection bookkeeping for device contexts: a font deleted while still selected somewhere lives on
// until its last context lets it go, and a deleted handle can no longer be selected.
bool retainFont(FontObject* font);   // false when font is not a live handle
void releaseFont(FontObject* font);

}
