// Pixel work shared by the drawing calls: clipping, solid fills and blending coverage onto a surface.
#pragma once

#include "platform/surface.h"
#include "platform/win32.h"

#include <algorithm>

namespace platform {

// The part of rect inside the surface; empty (right <= left or bottom <= top) when none.
inline RECT clipToSurface(const RECT& rect, ConstPixelView s)
{
    return { std::max<LONG>(rect.left, 0), std::max<LONG>(rect.top, 0), std::min<LONG>(rect.right, s.width),
        std::min<LONG>(rect.bottom, s.height) };
}

inline RECT intersect(const RECT& a, const RECT& b)
{
    return { std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
        std::min(a.bottom, b.bottom) };
}

inline bool isEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

inline uint32_t pixelOf(PixelFormat f, COLORREF c) { return packPixel(f, GetRValue(c), GetGValue(c), GetBValue(c)); }

void fillRect(PixelView surface, const RECT& rect, COLORREF colour);
// colour laid over rect at opacity (0 none, 255 all), clipped to the surface.
void shadeRect(PixelView surface, const RECT& rect, COLORREF colour, int opacity);

}
