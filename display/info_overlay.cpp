#include "display/info_overlay.h"

#include "display/frame_drawing.h"
#include "platform/codepage.h"
#include "platform/gdi/gdi.h"
#include "ui/commands.h"

#include <cstring>

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

void drawInfoOverlay(HDC dc, const FrameLayout& layout, const OverlayText& text, int pass)
{
    // The rows of the information lines, and where the key summary starts below them, in screen pixels.
    constexpr int32_t lineHeight = 13;
    constexpr int32_t helpTop = 110;
    HFONT previous = SelectObject(dc, layout.fonts.overlay);
    const COLORREF colour = pass ? (~text.colour & 0xFFFFFFu) : text.colour;
    const int o = pass ? layout.px(1) : 0;
    SetTextColor(dc, colour);
    SetBkColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);

    int32_t row = 0;
    for (const std::string& line : text.lines)
        drawText(dc, o, o + layout.px(lineHeight * row++), line.c_str());
    row = 0;
    for (const std::string& line : overlayKeyLines())
        drawText(dc, o, o + layout.px(helpTop + lineHeight * row++), line.c_str());

    SelectObject(dc, previous);
}

}
