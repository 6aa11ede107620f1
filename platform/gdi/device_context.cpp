#include "platform/gdi/device_context.h"

#include "platform/gdi/pixel_ops.h"

struct BrushObject {
    COLORREF colour;
};

namespace {

BrushObject stockBrushes[] = {
    { RGB(255, 255, 255) },  // WHITE_BRUSH
    { RGB(192, 192, 192) },  // LTGRAY_BRUSH
    { RGB(128, 128, 128) },  // GRAY_BRUSH
    { RGB(64, 64, 64) },  // DKGRAY_BRUSH
    { RGB(0, 0, 0) },  // BLACK_BRUSH
};

}

namespace platform {

HDC createSurfaceDC(PixelView surface)
{
    return new DeviceContext(surface);
}

void destroySurfaceDC(HDC dc)
{
    if (!dc)
        return;
    if (dc->font)
        releaseFont(dc->font);
    delete dc;
}

}

HFONT SelectObject(HDC dc, HFONT font)
{
    if (!dc)
        return nullptr;
    // A stale or deleted handle is refused and the selection stays as it was.
    if (font && !platform::retainFont(font))
        return nullptr;
    HFONT previous = dc->font;
    dc->font = font;
    if (previous)
        platform::releaseFont(previous);
    return previous;
}

COLORREF SetTextColor(HDC dc, COLORREF colour)
{
    if (!dc)
        return 0xFFFFFFFFu;  // CLR_INVALID
    COLORREF previous = dc->textColour;
    dc->textColour = colour & 0xFFFFFF;
    return previous;
}

COLORREF SetBkColor(HDC dc, COLORREF colour)
{
    if (!dc)
        return 0xFFFFFFFFu;
    COLORREF previous = dc->backgroundColour;
    dc->backgroundColour = colour & 0xFFFFFF;
    return previous;
}

int SetBkMode(HDC dc, int mode)
{
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE))
        return 0;
    int previous = dc->backgroundMode;
    dc->backgroundMode = mode;
    return previous;
}

int SetStretchBltMode(HDC dc, int mode)
{
    if (!dc || mode < 1 || mode > HALFTONE)
        return 0;
    int previous = dc->stretchMode;
    dc->stretchMode = mode;
    return previous;
}

HBRUSH GetStockObject(int object)
{
    if (object < WHITE_BRUSH || object > BLACK_BRUSH)
        return nullptr;
    return &stockBrushes[object];
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush)
{
    if (!dc || !rect || !brush)
        return 0;
    platform::fillRect(dc->surface, *rect, brush->colour);
    return 1;
}
