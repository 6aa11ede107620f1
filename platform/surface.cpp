#include "platform/surface.h"

#include <cassert>
#include <cstring>

namespace platform {

uint32_t readPixel(const Surface& s, int x, int y)
{
    assert(x >= 0 && y >= 0 && x < s.width && y < s.height);
    const uint8_t* p = s.row(y);
    if (s.format == PixelFormat::RGB565) {
        uint16_t v;
        std::memcpy(&v, p + x * 2, 2);
        return v;
    }
    uint32_t v;
    std::memcpy(&v, p + x * 4, 4);
    return v;
}

void writePixel(Surface& s, int x, int y, uint32_t value)
{
    assert(x >= 0 && y >= 0 && x < s.width && y < s.height);
    uint8_t* p = s.row(y);
    if (s.format == PixelFormat::RGB565) {
        uint16_t v = static_cast<uint16_t>(value);
        std::memcpy(p + x * 2, &v, 2);
    } else {
        std::memcpy(p + x * 4, &value, 4);
    }
}

void readRgb(const Surface& s, int x, int y, int& r, int& g, int& b)
{
    uint32_t v = readPixel(s, x, y);
    if (s.format == PixelFormat::RGB565) {
        int r5 = (v >> 11) & 0x1F, g6 = (v >> 5) & 0x3F, b5 = v & 0x1F;
        r = (r5 << 3) | (r5 >> 2);
        g = (g6 << 2) | (g6 >> 4);
        b = (b5 << 3) | (b5 >> 2);
    } else {
        r = (v >> 16) & 0xFF;
        g = (v >> 8) & 0xFF;
        b = v & 0xFF;
    }
}

}
