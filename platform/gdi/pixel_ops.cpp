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

void shadeRect(PixelView surface, const RECT& rect, COLORREF colour, int opacity)
{
    RECT r = clipToSurface(rect, surface);
    if (isEmpty(r) || opacity <= 0)
        return;
    if (opacity >= 255) {
        fillRect(surface, r, colour);
        return;
    }
    const unsigned w = static_cast<unsigned>(opacity) + (static_cast<unsigned>(opacity) >> 7);  // 1..255 → 1..256
    const int count = r.right - r.left;
    if (surface.format == PixelFormat::XRGB8888) {
        const uint32_t value = pixelOf(surface.format, colour);
        const uint32_t srcRB = (value & 0xFF00FF) * w;
        const uint32_t srcG = (value & 0xFF00) * w;
        for (int y = r.top; y < r.bottom; ++y) {
            auto* p = reinterpret_cast<uint32_t*>(surface.row(y)) + r.left;
            for (int x = 0; x < count; ++x) {
                const uint32_t d = p[x];
                p[x] = (((srcRB + (d & 0xFF00FF) * (256 - w)) >> 8) & 0xFF00FF) | (((srcG + (d & 0xFF00) * (256 - w)) >> 8) & 0xFF00);
            }
        }
        return;
    }
    // Green sits apart from red and blue in the high half, so all three blend in one multiply.
    const uint32_t value = pixelOf(surface.format, colour);
    const unsigned w32 = (w + 4) >> 3;  // 0..32
    const uint32_t spread = ((value | (value << 16)) & 0x07E0F81F) * w32;
    for (int y = r.top; y < r.bottom; ++y) {
        auto* p = reinterpret_cast<uint16_t*>(surface.row(y)) + r.left;
        for (int x = 0; x < count; ++x) {
            const uint32_t dd = (p[x] | (static_cast<uint32_t>(p[x]) << 16)) & 0x07E0F81F;
            const uint32_t mixed = ((spread + dd * (32 - w32)) >> 5) & 0x07E0F81F;
            p[x] = static_cast<uint16_t>(mixed | (mixed >> 16));
        }
    }
}

}
