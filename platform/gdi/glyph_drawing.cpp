// Glyph drawing: one glyph of a face rasterised by FreeType into a coverage image placed in the text cell.
#include "platform/gdi/font_faces.h"

#include FT_OUTLINE_H

namespace platform {

void FontFaces::render(FT_Face face, FT_UInt index, int ascent, Glyph& out) const
{
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0)
        return;
    FT_GlyphSlot slot = face->glyph;
    FT_Pos advance = slot->advance.x;
    if (emboldenStrength > 0 && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_Outline_Embolden(&slot->outline, emboldenStrength);
        advance += emboldenStrength;
    }
    out.advance = static_cast<int>((advance + 32) >> 6);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0)
        return;
    const FT_Bitmap& bitmap = slot->bitmap;
    out.left = slot->bitmap_left;
    out.top = ascent - slot->bitmap_top;
    out.width = static_cast<int>(bitmap.width);
    out.height = static_cast<int>(bitmap.rows);
    out.coverage.assign(static_cast<size_t>(out.width) * out.height, 0);
    out.rowStart.assign(out.height, 0);
    out.rowEnd.assign(out.height, 0);
    for (int y = 0; y < out.height; ++y) {
        const unsigned char* src = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
        uint8_t* dst = out.coverage.data() + static_cast<size_t>(y) * out.width;
        for (int x = 0; x < out.width; ++x) {
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            else
                dst[x] = src[x];
        }
        int first = 0;
        int last = out.width;
        while (first < last && dst[first] == 0)
            ++first;
        while (last > first && dst[last - 1] == 0)
            --last;
        out.rowStart[y] = static_cast<uint16_t>(first);
        out.rowEnd[y] = static_cast<uint16_t>(last);
    }
}

}
