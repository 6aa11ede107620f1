#include "platform/gdi/pixel_ops.h"

#include <cstring>

namespace platform {

void fillRect(PixelView surface, const RECT& rect, COLORREF colour)
{
    RECT r = clipToSurface(rect, surface);
    if (isEmpty(r))
        return;
    const uint32_t value = pixelOf(surface.format, colour);
    const int count = r.right - r.left;
    for (int y = r.top; y < r.bottom; ++y) {
        if (surface.format == PixelFormat::RGB565) {
            auto* p = reinterpret_cast<uint16_t*>(surface.row(y)) + r.left;
            std::fill(p, p + count, static_cast<uint16_t>(value));
        } else {
            auto* p = reinterpret_cast<uint32_t*>(surface.row(y)) + r.left;
            std::fill(p, p + count, value);
        }
    }
}

}
