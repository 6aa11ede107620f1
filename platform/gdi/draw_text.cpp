// TextOutA and DrawTextA: laying text out in the selected font and blending its glyphs onto the surface.
#include "platform/gdi/device_context.h"
#include "platform/gdi/pixel_ops.h"

#include <cstring>

namespace platform {

namespace {

// Positions far beyond any surface are refused, so that pixel arithmetic on them cannot overflow.
bool saneCoordinate(long v) { return v > -(1L << 28) && v < (1L << 28); }

// Blends the coverage of one glyph, clipped to clip, in one colour. The per-row coverage extents let
// the loops skip the empty margins of the glyph box.
template<typename Pixel, typename Blend>
void blendGlyph(PixelView s, const Glyph& g, int gx, int gy, const RECT& clip, Blend blend)
{
    const int y0 = std::max(0, clip.top - gy);
    const int y1 = std::min(g.height, clip.bottom - gy);
    for (int y = y0; y < y1; ++y) {
        const int x0 = std::max<int>(g.rowStart[y], clip.left - gx);
        const int x1 = std::min<int>(g.rowEnd[y], clip.right - gx);
        if (x0 >= x1)
            continue;
        const uint8_t* coverage = g.coverage.data() + static_cast<size_t>(y) * g.width;
        auto* d = reinterpret_cast<Pixel*>(s.row(gy + y)) + gx;
        for (int x = x0; x < x1; ++x) {
            const unsigned a = coverage[x];
            if (a)
                d[x] = blend(d[x], a);
        }
    }
}

void drawLine(PixelView s, const TextLine& line, int x, int y, const RECT& clip, COLORREF colour)
{
    const uint32_t value = pixelOf(s.format, colour);
    if (s.format == PixelFormat::XRGB8888) {
        const uint32_t srcRB = value & 0xFF00FF;
        const uint32_t srcG = value & 0xFF00;
        auto blend = [=](uint32_t d, unsigned a) -> uint32_t {
            if (a == 255)
                return value;
            const unsigned w = a + (a >> 7);  // 0..256
            const uint32_t rb = ((srcRB * w + (d & 0xFF00FF) * (256 - w)) >> 8) & 0xFF00FF;
            const uint32_t g = ((srcG * w + (d & 0xFF00) * (256 - w)) >> 8) & 0xFF00;
            return rb | g;
        };
        for (const PlacedGlyph& pg : line.glyphs)
            if (pg.glyph->height)
                blendGlyph<uint32_t>(s, *pg.glyph, x + pg.x + pg.glyph->left, y + pg.glyph->top, clip, blend);
    } else {
        // Green sits apart from red and blue in the high half, so all three blend in one multiply.
        const uint32_t spread = (value | (value << 16)) & 0x07E0F81F;
        auto blend = [=](uint16_t d, unsigned a) -> uint16_t {
            if (a == 255)
                return static_cast<uint16_t>(value);
            const unsigned w = (a + 4) >> 3;  // 0..32
            const uint32_t dd = (d | (static_cast<uint32_t>(d) << 16)) & 0x07E0F81F;
            const uint32_t r = ((spread * w + dd * (32 - w)) >> 5) & 0x07E0F81F;
            return static_cast<uint16_t>(r | (r >> 16));
        };
        for (const PlacedGlyph& pg : line.glyphs)
            if (pg.glyph->height)
                blendGlyph<uint16_t>(s, *pg.glyph, x + pg.x + pg.glyph->left, y + pg.glyph->top, clip, blend);
    }
}

}

}

BOOL TextOutA(HDC dc, int x, int y, const char* text, int length)
{
    using namespace platform;
    if (!dc || length < 0 || (!text && length > 0) || !saneCoordinate(x) || !saneCoordinate(y))
        return FALSE;
    FontObject* font = dc->currentFont();
    if (!font)
        return FALSE;
    TextLayout layout = layoutText(*font, std::string_view(text ? text : "", length), Breaking::SingleLine, 0);
    if (layout.lines.empty())
        return TRUE;
    const TextLine& line = layout.lines.front();
    RECT clip = clipToSurface({ x, y, x + line.width, y + font->cellHeight() }, dc->surface);
    if (dc->backgroundMode == OPAQUE)
        fillRect(dc->surface, clip, dc->backgroundColour);
    // Glyphs may reach outside their cell (accents, italics of a fallback face); only the surface clips.
    drawLine(dc->surface, line, x, y, RECT { 0, 0, dc->surface.width, dc->surface.height }, dc->textColour);
    return TRUE;
}

int DrawTextA(HDC dc, const char* text, int length, RECT* rect, UINT format)
{
    using namespace platform;
    if (!dc || !rect || (!text && length != 0))
        return 0;
    if (!saneCoordinate(rect->left) || !saneCoordinate(rect->top) || !saneCoordinate(rect->right)
        || !saneCoordinate(rect->bottom))
        return 0;
    if (length < 0)
        length = static_cast<int>(std::strlen(text));
    FontObject* font = dc->currentFont();
    if (!font)
        return 0;

    const Breaking breaking = (format & DT_SINGLELINE) ? Breaking::SingleLine
        : (format & DT_WORDBREAK)                      ? Breaking::WordWrap
                                                       : Breaking::AtLineBreaks;
    const int width = rect->right - rect->left;
    const TextLayout& layout = dc->layoutCache.get(*font, std::string_view(text ? text : "", length), breaking, width);
    const int cellHeight = font->cellHeight();
    // Output is clipped to the rectangle, so each line is as tall as its glyphs: an accent from a
    // fallback face taller than the cell would otherwise lose its top.
    int height = 0;
    for (const TextLine& line : layout.lines)
        height += lineHeight(line, cellHeight);

    if (format & DT_CALCRECT) {
        rect->bottom = rect->top + height;
        if (breaking == Breaking::SingleLine || rect->left + layout.widest > rect->right)
            rect->right = rect->left + layout.widest;
        return height;
    }

    const RECT clip = clipToSurface(*rect, dc->surface);
    int y = rect->top;
    if ((format & DT_SINGLELINE) && (format & DT_VCENTER))
        y = rect->top + (rect->bottom - rect->top - height) / 2;
    for (const TextLine& line : layout.lines) {
        if (y >= clip.bottom)
            break;
        const int rows = lineHeight(line, cellHeight);
        if (y + rows > clip.top && !isEmpty(clip)) {
            const int x = (format & DT_CENTER) ? rect->left + (width - line.width) / 2 : rect->left;
            if (dc->backgroundMode == OPAQUE)
                fillRect(dc->surface, intersect({ x, y, x + line.width, y + rows }, clip), dc->backgroundColour);
            drawLine(dc->surface, line, x, y + line.above, clip, dc->textColour);
        }
        y += rows;
    }
    return height;
}

namespace platform {

std::vector<RECT> textLineBoxes(HDC dc, const char* text, int length, const RECT& rect, UINT format)
{
    std::vector<RECT> boxes;
    if (!dc || (!text && length != 0))
        return boxes;
    if (length < 0)
        length = static_cast<int>(std::strlen(text));
    FontObject* font = dc->currentFont();
    if (!font)
        return boxes;
    const Breaking breaking = (format & DT_SINGLELINE) ? Breaking::SingleLine
        : (format & DT_WORDBREAK)                      ? Breaking::WordWrap
                                                       : Breaking::AtLineBreaks;
    const int width = rect.right - rect.left;
    const TextLayout& layout = dc->layoutCache.get(*font, std::string_view(text ? text : "", length), breaking, width);
    const int cellHeight = font->cellHeight();
    int y = rect.top;
    if ((format & DT_SINGLELINE) && (format & DT_VCENTER)) {
        int height = 0;
        for (const TextLine& line : layout.lines)
            height += lineHeight(line, cellHeight);
        y = rect.top + (rect.bottom - rect.top - height) / 2;
    }
    for (const TextLine& line : layout.lines) {
        const int rows = lineHeight(line, cellHeight);
        const int x = (format & DT_CENTER) ? rect.left + (width - line.width) / 2 : rect.left;
        boxes.push_back(line.width > 0 ? RECT { x, y, x + line.width, y + rows } : RECT { x, y, x, y + rows });
        y += rows;
    }
    return boxes;
}

void shadeRect(HDC dc, const RECT& rect, COLORREF colour, int opacity)
{
    if (dc)
        shadeRect(dc->surface, rect, colour, opacity);
}

}
