// Drawing the caption in force into the caption band: placement, effects, then the text itself.
#include "app/settings.h"
#include "caption/caption.h"
#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

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

// The boxes behind the lines of a caption placed at rect: each line's extent grown by the margins, the
// margin above only over the first line of a run of lines and below only under its last, so the boxes of
// adjacent lines meet without overlapping. Blank lines get none. Kept above row lowest with the text.
struct CaptionBoxes {
    std::vector<RECT> boxes;
    int32_t shift = 0;  // how far the text was moved up to keep the boxes above lowest
};

CaptionBoxes boxesFor(HDC dc, const char* text, int length, const RECT& rect, int32_t lowest, double scale)
{
    CaptionBoxes result;
    const std::vector<RECT> lines = platform::textLineBoxes(dc, text, length, rect, drawFormat);
    const auto blank = [](const RECT& r) { return r.right <= r.left; };
    for (size_t i = 0; i < lines.size(); ++i) {
        const RECT& line = lines[i];
        // The text is clipped to its rectangle, so are its boxes.
        if (blank(line) || line.top >= rect.bottom)
            continue;
        const int32_t rows = line.bottom - line.top;
        const int32_t across = std::max(scaled(4, scale), rows / 3);
        const int32_t along = std::max(scaled(3, scale), rows / 6);
        RECT box { line.left - across, line.top, line.right + across, std::min(line.bottom, rect.bottom) };
        if (i == 0 || blank(lines[i - 1]))
            box.top -= along;
        if (i + 1 == lines.size() || blank(lines[i + 1]) || lines[i + 1].top >= rect.bottom)
            box.bottom += along;
        result.boxes.push_back(box);
    }
    if (!result.boxes.empty() && lowest != INT32_MAX && result.boxes.back().bottom > lowest) {
        result.shift = result.boxes.back().bottom - lowest;
        for (RECT& box : result.boxes) {
            box.top -= result.shift;
            box.bottom -= result.shift;
        }
    }
    return result;
}

}

CaptionBox captionBoxOf(int32_t setting)
{
    switch (setting) {
    case static_cast<int32_t>(CaptionBox::Box):
        return CaptionBox::Box;
    case static_cast<int32_t>(CaptionBox::YellowOnBox):
        return CaptionBox::YellowOnBox;
    default:
        return CaptionBox::None;
    }
}

void Caption::draw(uint32_t time, HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, int32_t style,
    int32_t lowest, double scale, const CaptionLook& look)
{
    const std::string* shown = shownTextAt(time, look.descriptions);
    if (!shown)
        return;

    const COLORREF white = RGB(255, 255, 255);
    const COLORREF black = RGB(0, 0, 0);
    const COLORREF yellow = RGB(255, 255, 0);
    // On a box the text must stand out from black, whatever the style's colours.
    const bool boxed = look.box != CaptionBox::None;
    const bool reverse = !boxed && (style & styleReverse);
    SetTextColor(dc, reverse ? white : black);
    SetBkMode(dc, TRANSPARENT);

    const char* text = shown->c_str();
    const int length = static_cast<int>(std::strlen(text));
    RECT rect = placeText(dc, text, length, x, y, width, height, style, lowest, scale);
    if (boxed) {
        const CaptionBoxes boxes = boxesFor(dc, text, length, rect, lowest, scale);
        rect.top -= boxes.shift;
        rect.bottom -= boxes.shift;
        // Three quarters opaque: the picture still shows through, the text reads on any of it.
        for (const RECT& box : boxes.boxes)
            platform::shadeRect(dc, box, black, 191);
    }

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

    SetTextColor(dc, look.box == CaptionBox::YellowOnBox ? yellow : reverse ? black : white);
    DrawTextA(dc, text, length, &rect, drawFormat);
}

bool Caption::shownBlock(uint32_t time, HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, int32_t style,
    int32_t lowest, RECT& block, double scale, const CaptionLook& look)
{
    const std::string* shown = shownTextAt(time, look.descriptions);
    if (!shown || shown->find_first_not_of(" \t\r\n") == std::string::npos)
        return false;
    const char* text = shown->c_str();
    const int length = static_cast<int>(std::strlen(text));
    block = placeText(dc, text, length, x, y, width, height, style, lowest, scale);
    // The rows the text fills, which fixed placement does not measure.
    RECT measured = block;
    DrawTextA(dc, text, length, &measured, measureFormat);
    block.bottom = std::min(block.bottom, measured.bottom);
    if (look.box != CaptionBox::None) {
        const CaptionBoxes boxes = boxesFor(dc, text, length, block, lowest, scale);
        if (!boxes.boxes.empty()) {
            block.top = boxes.boxes.front().top;
            block.bottom = boxes.boxes.back().bottom;
        }
    }
    return true;
}

}
