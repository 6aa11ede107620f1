// Drawing the caption in force into the caption band: placement, effects, then the text itself.
#include "app/settings.h"
#include "caption/caption.h"
#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sublumen {

namespace {

constexpr UINT drawFormat = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
constexpr UINT measureFormat = drawFormat | DT_CALCRECT;

struct Offset {
    int dx;
    int dy;
};

constexpr Offset shadowOffsets[] = { { 2, 2 } };
constexpr Offset outlineOffsets[] = { { -1, 0 }, { 1, 0 }, { 0, -1 }, { 0, 1 }, { -1, 1 }, { 1, 1 }, { 1, -1 },
    { -1, -1 } };
constexpr Offset thickOutlineOffsets[] = { { -2, 0 }, { 2, 0 }, { 0, -2 }, { 0, 2 }, { -2, -2 }, { 2, -2 },
    { -2, 2 }, { 2, 2 } };

// n pixels at scale, exactly n at 1.
int32_t scaled(int32_t n, double scale)
{
    return scale == 1.0 ? n : static_cast<int32_t>(std::lround(n * scale));
}

// Where the text goes in the band (x, y, width, height) under the placement bits of style, kept above
// row lowest; its top is where the text starts.
RECT placeText(HDC dc, const char* text, int length, int32_t x, int32_t y, int32_t width, int32_t height,
    int32_t style, int32_t lowest, double scale)
{
    const int32_t margin = scaled(2, scale);
    RECT rect { x + margin, y + margin, x + width - margin, y + height - margin };
    if (style & styleAutoPlace) {
        // The block ends at the band's bottom whatever its height.
        const LONG left = rect.left, right = rect.right, bottom = rect.bottom;
        DrawTextA(dc, text, length, &rect, measureFormat);
        rect.left = left;
        rect.right = right;
        if (rect.bottom != bottom) {
            rect.top += bottom - rect.bottom;
            rect.bottom = bottom;
        }
    }
    if (style & styleSemiAutoPlace) {
        // The block starts at the band's top and is pushed up only as far as it would overflow.
        const LONG left = rect.left, right = rect.right, bottom = rect.bottom;
        DrawTextA(dc, text, length, &rect, measureFormat);
        rect.left = left;
        rect.right = right;
        if (rect.bottom > bottom) {
            rect.top -= rect.bottom - bottom;
            rect.bottom = bottom;
        }
    }
    if (rect.bottom > lowest) {
        // What lies below (the status bar) stays uncovered: the whole block moves up, no line is lost.
        RECT block = rect;
        DrawTextA(dc, text, length, &block, measureFormat);
        if (block.bottom > lowest) {
            rect.top -= block.bottom - lowest;
            rect.bottom = lowest;
        }
    }
    return rect;
}

}

void Caption::draw(uint32_t time, HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, int32_t style,
    int32_t lowest, double scale)
{
    const std::string* shown = shownTextAt(time);
    if (!shown)
        return;

    const COLORREF white = RGB(255, 255, 255);
    const COLORREF black = RGB(0, 0, 0);
    const bool reverse = style & styleReverse;
    SetTextColor(dc, reverse ? white : black);
    SetBkMode(dc, TRANSPARENT);

    const char* text = shown->c_str();
    const int length = static_cast<int>(std::strlen(text));
    RECT rect = placeText(dc, text, length, x, y, width, height, style, lowest, scale);

    auto outputAt = [&](const Offset& o) {
        const int32_t dx = scaled(o.dx, scale), dy = scaled(o.dy, scale);
        RECT moved { rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy };
        DrawTextA(dc, text, length, &moved, drawFormat);
    };
    if (style & styleShadow)
        for (const Offset& o : shadowOffsets)
            outputAt(o);
    if (style & styleOutline)
        for (const Offset& o : outlineOffsets)
            outputAt(o);
    if (style & styleThickOutline)
        for (const Offset& o : thickOutlineOffsets)
            outputAt(o);

    SetTextColor(dc, reverse ? black : white);
    DrawTextA(dc, text, length, &rect, drawFormat);
}

bool Caption::shownBlock(uint32_t time, HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, int32_t style,
    int32_t lowest, RECT& block, double scale)
{
    const std::string* shown = shownTextAt(time);
    if (!shown || shown->find_first_not_of(" \t\r\n") == std::string::npos)
        return false;
    const char* text = shown->c_str();
    const int length = static_cast<int>(std::strlen(text));
    block = placeText(dc, text, length, x, y, width, height, style, lowest, scale);
    // The rows the text fills, which fixed placement does not measure.
    RECT measured = block;
    DrawTextA(dc, text, length, &measured, measureFormat);
    block.bottom = std::min(block.bottom, measured.bottom);
    return true;
}

}
