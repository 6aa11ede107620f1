#include "display/frame_drawing.h"

#include "app/settings.h"
#include "caption/caption.h"
#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sublumen {

namespace {

// The status bar's rows at the bottom of the screen: the time text from H - 16, the marks from H - 8.
constexpr int32_t statusBarHeight = 16;
// Below the caption text its shadow and outlines reach this far.
constexpr int32_t captionEffectReach = 2;
// Between the second caption and the first.
constexpr int32_t captionGap = 4;

void fill(HDC dc, LONG left, LONG top, LONG right, LONG bottom, int stockBrush)
{
    RECT r { left, top, right, bottom };
    FillRect(dc, &r, GetStockObject(stockBrush));
}

}

BOOL drawText(HDC dc, int x, int y, const char* text)
{
    return TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text)));
}

void fillBorders(HDC dc, const FrameLayout& layout, FrameContent content)
{
    const int32_t W = layout.width;
    const int32_t H = layout.height;
    const VideoPlacement& p = layout.video;
    if (content == FrameContent::Movie) {
        if (p.dstX != 0)
            fill(dc, 0, 0, p.dstX, H, BLACK_BRUSH);
        if (p.dstX + p.dstWidth < W)
            fill(dc, p.dstX + p.dstWidth, 0, W, H, BLACK_BRUSH);
        if (p.dstY != 0)
            fill(dc, 0, 0, W, p.dstY, BLACK_BRUSH);
        if (p.dstY + p.dstHeight < H)
            fill(dc, 0, p.dstY + p.dstHeight, W, H, BLACK_BRUSH);
    } else if (content == FrameContent::EndScreen) {
        fill(dc, 0, 0, W, H, BLACK_BRUSH);
    }
}

void drawEndScreen(HDC dc, const FrameLayout& layout, const std::string& notice)
{
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    RECT r { 0, 0, layout.width, layout.height };
    static const char endText[] = "< THE END >";
    DrawTextA(dc, endText, static_cast<int>(sizeof endText - 1), &r,
        DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_WORDBREAK | DT_NOPREFIX);
    if (!notice.empty())
        drawStatusText(dc, layout, 0, notice.c_str());
}

void drawStatusText(HDC dc, const FrameLayout& layout, int x, const char* text)
{
    HFONT previous = SelectObject(dc, layout.fonts.status);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 255, 0));
    drawText(dc, layout.textPx(x), layout.height - layout.textPx(statusBarHeight), text);
    SelectObject(dc, previous);
}

void drawSeekBar(HDC dc, const FrameLayout& layout, const StatusBar& bar)
{
    const int32_t W = layout.width;
    const int32_t H = layout.height;
    const uint32_t d = bar.duration;
    auto px = [&](int32_t n) { return layout.textPx(n); };

    drawStatusText(dc, layout, 0, bar.line.c_str());

    fill(dc, W - px(144), H - px(4), W - px(16), H - px(3), LTGRAY_BRUSH);
    LONG x = W - px(146) + px(bar.volume / 2);
    fill(dc, x, H - px(8), x + px(2), H, LTGRAY_BRUSH);

    double position = d ? std::trunc(static_cast<double>(bar.time) * (static_cast<double>(W) / static_cast<double>(d))) : 0.0;
    // A time past the end (or an error value of the clock) keeps the mark just off the screen.
    if (position > W + px(2))
        position = W + px(2);
    LONG p = static_cast<LONG>(position);
    fill(dc, p - px(1), H - px(8), p + px(1), H, BLACK_BRUSH);
    fill(dc, p - px(2), H - px(8), p, H, WHITE_BRUSH);
}

void drawStatusBar(HDC dc, const FrameLayout& layout, const StatusBar& bar)
{
    if (layout.seekbar)
        drawSeekBar(dc, layout, bar);
    else if (!bar.notice.empty())
        drawStatusText(dc, layout, 0, bar.notice.c_str());
}

void drawStatusNotice(HDC dc, const FrameLayout& layout, const StatusNotice& notice)
{
    if (notice.text.empty())
        return;
    const int32_t W = layout.width;
    const int32_t H = layout.height;
    const int32_t rowHeight = layout.textPx(statusBarHeight);
    HFONT previous = SelectObject(dc, layout.fonts.status);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 255, 0));
    RECT room { 0, H - rowHeight, W, H };
    if (!notice.before.empty()) {
        RECT measured { 0, 0, W, rowHeight };
        DrawTextA(dc, notice.before.c_str(), -1, &measured, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
        room.left = measured.right + layout.textPx(12);
    }
    if (notice.barShown)
        room.right = W - layout.textPx(150);
    if (room.right > room.left)
        DrawTextA(dc, notice.text.c_str(), -1, &room, DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, previous);
}

void drawCaptions(HDC dc, const FrameLayout& layout, const CaptionsShown& captions)
{
    if (!captions.first && !captions.second)
        return;
    HFONT font = layout.fonts.caption;
    HFONT previous = font ? SelectObject(dc, font) : nullptr;
    const int32_t W = layout.width;
    const int32_t H = layout.height;
    const int32_t reach = layout.px(captionEffectReach);
    const int32_t bandTop = H - layout.fontposy;
    const CaptionLook look { captionBoxOf(layout.captionbox), captions.descriptions };
    int32_t limit = bandTop;
    if (Caption* first = captions.first) {
        const uint32_t ct = captions.firstTime;
        // Captions are drawn over the status bar where they meet; a block is moved up, whole, only when it
        // would run past the screen's bottom, its effects included.
        const int32_t lowest = H - reach;
        RECT block;
        if (captions.second
            && first->shownBlock(ct, dc, 0, bandTop, W, layout.fontposy, layout.captionstyle, lowest, block, layout.scale, look))
            limit = std::min<int32_t>(limit, block.top - reach);
        first->draw(ct, dc, 0, bandTop, W, layout.fontposy, layout.captionstyle, lowest, layout.scale, look);
    }
    if (Caption* second = captions.second) {
        const uint32_t ct = captions.secondTime;
        // The band ends this far above the first caption, its own effects included.
        const int32_t bottom = limit - reach - layout.px(captionGap);
        const int32_t fixed = layout.captionstyle & ~(styleAutoPlace | styleSemiAutoPlace);
        RECT block;
        if (!second->shownBlock(ct, dc, 0, 0, W, bottom, fixed | styleAutoPlace, bottom, block, layout.scale, look)
            || block.top - reach >= 0) {
            second->draw(ct, dc, 0, 0, W, bottom, fixed | styleAutoPlace, bottom, layout.scale, look);
        } else {
            // No room above: from the top of the picture, cut off before the first caption.
            const int32_t top = std::clamp<int32_t>(layout.video.dstY, 0, std::max(bottom, 0));
            second->draw(ct, dc, 0, top, W, bottom - top, fixed, bottom, layout.scale, look);
        }
    }
    if (font)
        SelectObject(dc, previous);
}

}
