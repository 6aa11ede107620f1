#include "platform/surface.h"

#include <cassert>
#include <cstring>

namespace platform {

Surface::Surface(ConstPixelView view)
    : Surface(view.width, view.height, view.format)
{
    if (!view.empty())
        copyPixels(view, *this);
}

void copyPixels(ConstPixelView source, PixelView target)
{
    assert(source.width == target.width && source.height == target.height && source.format == target.format);
    const std::size_t rowBytes = static_cast<std::size_t>(source.width) * (source.bitsPerPixel() / 8);
    for (int y = 0; y < source.height; ++y)
        std::memcpy(target.row(y), source.row(y), rowBytes);
}

uint32_t readPixel(ConstPixelView s, int x, int y)
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

void writePixel(PixelView s, int x, int y, uint32_t value)
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

void readRgb(ConstPixelView s, int x, int y, int& r, int& g, int& b)
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
