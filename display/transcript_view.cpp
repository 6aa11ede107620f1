#include "display/transcript_view.h"

#include "platform/gdi/gdi.h"

#include <algorithm>

namespace sublumen {

namespace {

// In screen pixels: the rows' pitch (the overlay's 12-pixel font and a little room), the panel's inner
// margin, the status bar's row kept clear at the bottom, and the narrowest screen given a third.
constexpr int32_t rowPitch = 14;
constexpr int32_t margin = 4;
constexpr int32_t statusBarHeight = 16;
constexpr int32_t narrowScreen = 320;

// A quarter of the picture's brightness stays under the panel.
void darken(platform::PixelView pixels, const RECT& r)
{
    const int left = std::max<int>(r.left, 0);
    const int right = std::min<int>(r.right, pixels.width);
    const int top = std::max<int>(r.top, 0);
    const int bottom = std::min<int>(r.bottom, pixels.height);
    if (pixels.empty() || left >= right || top >= bottom)
        return;
    for (int y = top; y < bottom; ++y) {
        if (pixels.format == platform::PixelFormat::XRGB8888) {
            auto* p = reinterpret_cast<uint32_t*>(pixels.row(y)) + left;
            for (int x = left; x < right; ++x, ++p)
                *p = (*p >> 2) & 0x3F3F3Fu;
        } else {
            auto* p = reinterpret_cast<uint16_t*>(pixels.row(y)) + left;
            for (int x = left; x < right; ++x, ++p)
                *p = static_cast<uint16_t>((*p >> 2) & 0x39E7u);
        }
    }
}

void drawLine(HDC dc, const std::string& text, LONG left, LONG top, LONG right, LONG bottom)
{
    if (text.empty() || right <= left)
        return;
    RECT r { left, top, right, bottom };
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_SINGLELINE | DT_NOPREFIX);
}

}

RECT transcriptPanelRect(const FrameLayout& layout)
{
    const int32_t W = layout.width;
    const int32_t left = W <= layout.px(narrowScreen) ? 0 : W - W / 3;
    return { left, 0, W, std::max(0, layout.height - layout.px(statusBarHeight)) };
}

size_t transcriptRowsFitting(const FrameLayout& layout, bool secondLines)
{
    const RECT panel = transcriptPanelRect(layout);
    // The header's row and a margin above and below it.
    const int32_t room = panel.bottom - panel.top - layout.px(rowPitch + 3 * margin);
    const int32_t row = layout.px(rowPitch) * (secondLines ? 2 : 1);
    return room > 0 && row > 0 ? static_cast<size_t>(room / row) : 0;
}

void drawTranscript(HDC dc, platform::PixelView pixels, const FrameLayout& layout, const TranscriptView& view)
{
    const RECT panel = transcriptPanelRect(layout);
    if (panel.right <= panel.left || panel.bottom <= panel.top)
        return;
    darken(pixels, panel);

    const int32_t pitch = layout.px(rowPitch);
    const LONG left = panel.left + layout.px(margin);
    const LONG right = panel.right - layout.px(margin);
    HFONT previous = SelectObject(dc, layout.fonts.overlay);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, view.colour);
    LONG y = panel.top + layout.px(margin);
    drawLine(dc, view.header, left, y, right, y + pitch);
    y += pitch + layout.px(2 * margin);

    // The times' column is as wide as the widest time shown.
    LONG timeWidth = 0;
    for (const TranscriptView::Row& row : view.rows) {
        RECT measured { 0, 0, right - left, pitch };
        DrawTextA(dc, row.time.c_str(), -1, &measured, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
        timeWidth = std::max<LONG>(timeWidth, measured.right);
    }
    const LONG textLeft = left + timeWidth + layout.px(margin + 2);

    const int32_t rowHeight = pitch * (view.secondLines ? 2 : 1);
    for (const TranscriptView::Row& row : view.rows) {
        if (y + rowHeight > panel.bottom)
            break;
        if (row.chosen) {
            RECT bar { panel.left, y, panel.right, y + rowHeight };
            FillRect(dc, &bar, GetStockObject(DKGRAY_BRUSH));
        }
        SetTextColor(dc, row.current ? RGB(0, 255, 0) : view.colour);
        drawLine(dc, row.time, left, y, textLeft, y + pitch);
        drawLine(dc, row.text, textLeft, y, right, y + pitch);
        if (view.secondLines) {
            SetTextColor(dc, RGB(170, 170, 170));
            drawLine(dc, row.second, textLeft, y + pitch, right, y + 2 * pitch);
        }
        y += rowHeight;
    }
    SelectObject(dc, previous);
}

}
