#include "display/info_overlay.h"

#include "display/frame_drawing.h"
#include "platform/codepage.h"
#include "platform/gdi/gdi.h"
#include "ui/commands.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

namespace sublumen {

void fitLine(char* text, size_t size)
{
    if (size == 0)
        return;
    size_t length = std::strlen(text);
    if (length < size)
        return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t cut = size - 1;
    if (platform::isValidUtf8(text, length)) {
        while (cut > 0 && (bytes[cut] & 0xC0) == 0x80)
            --cut;
    } else {
        // CP949: walk from the start so that a trail byte is never taken for a lead byte.
        size_t i = 0;
        while (i < cut) {
            size_t width = bytes[i] >= 0x81 && bytes[i] <= 0xFE && i + 1 < length ? 2 : 1;
            if (i + width > cut)
                break;
            i += width;
        }
        cut = i;
    }
    text[cut] = '\0';
}

namespace {

// The rows of the information lines, and where the key summary starts below them, in screen pixels.
constexpr int32_t lineHeight = 13;
constexpr int32_t helpTop = 110;
// Between two columns of the key summary.
constexpr int32_t columnGap = 12;

int32_t textWidth(HDC dc, const char* text)
{
    RECT measured { 0, 0, 0, 0 };
    DrawTextA(dc, text, -1, &measured, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
    return measured.right - measured.left;
}

// The key summary from helpTop down, offset by o. Lines that do not fit above the screen's bottom flow
// into further columns from helpTop again: side by side when they fit the width, else in equal shares
// of it, each line cut at its column's edge, so every line shows at least its start.
void drawHelpLines(HDC dc, const FrameLayout& layout, int o, std::span<const std::string> lines)
{
    const auto top = [&](size_t row) { return o + layout.textPx(helpTop + lineHeight * static_cast<int32_t>(row)); };
    size_t perColumn = 0;
    while (perColumn < lines.size() && layout.textPx(helpTop + lineHeight * static_cast<int32_t>(perColumn + 1)) <= layout.height)
        ++perColumn;
    if (perColumn == lines.size() || perColumn == 0) {
        for (size_t row = 0; row < lines.size(); ++row)
            drawText(dc, o, top(row), lines[row].c_str());
        return;
    }
    const size_t columns = (lines.size() + perColumn - 1) / perColumn;
    const int32_t gap = layout.textPx(columnGap);
    std::vector<int32_t> left(columns, 0);
    int32_t right = 0;
    for (size_t c = 0; c < columns; ++c) {
        left[c] = right;
        int32_t widest = 0;
        for (size_t i = c * perColumn; i < std::min(lines.size(), (c + 1) * perColumn); ++i)
            widest = std::max(widest, textWidth(dc, lines[i].c_str()));
        right = left[c] + widest + gap;
    }
    const bool sideBySide = right - gap <= layout.width;
    const int32_t share = layout.width / static_cast<int32_t>(columns);
    for (size_t i = 0; i < lines.size(); ++i) {
        const size_t c = i / perColumn;
        const int32_t x = o + (sideBySide ? left[c] : share * static_cast<int32_t>(c));
        const int32_t y = top(i % perColumn);
        if (sideBySide) {
            drawText(dc, x, y, lines[i].c_str());
            continue;
        }
        RECT room { x, y, c + 1 == columns ? layout.width + o : x + share - gap, y + layout.textPx(lineHeight) };
        DrawTextA(dc, lines[i].c_str(), -1, &room, DT_SINGLELINE | DT_NOPREFIX);
    }
}

}

void drawInfoOverlay(HDC dc, const FrameLayout& layout, const OverlayText& text, int pass)
{
    HFONT previous = SelectObject(dc, layout.fonts.overlay);
    const COLORREF colour = pass ? (~text.colour & 0xFFFFFFu) : text.colour;
    const int o = pass ? layout.textPx(1) : 0;
    SetTextColor(dc, colour);
    SetBkColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);

    int32_t row = 0;
    for (const std::string& line : text.lines)
        drawText(dc, o, o + layout.textPx(lineHeight * row++), line.c_str());
    drawHelpLines(dc, layout, o, overlayKeyLines());

    SelectObject(dc, previous);
}

}
