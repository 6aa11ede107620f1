#include "platform/surface.h"

#include <cassert>
#include <cstring>
#include <utility>

namespace platform {

Surface::Surface(const Surface& other)
    : format(other.format)
    , width(other.width)
    , height(other.height)
    , pitch(other.pitch)
    , pixels(other.pixels.size())
{
    if (!pixels.empty())
        std::memcpy(pixels.data(), other.data(), pixels.size());
}

Surface& Surface::operator=(const Surface& other)
{
    if (this != &other) {
        Surface copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Surface::Surface(Surface&& other) noexcept
    : format(other.format)
    , width(other.width)
    , height(other.height)
    , pitch(other.pitch)
{
    if (other.lent_) {
        pixels.resize(other.pixels.size());
        if (!pixels.empty())
            std::memcpy(pixels.data(), other.lent_, pixels.size());
    } else {
        pixels = std::move(other.pixels);
    }
}

Surface& Surface::operator=(Surface&& other) noexcept
{
    if (this == &other)
        return *this;
    if (other.lent_) {
        Surface copy(other);
        return *this = std::move(copy);
    }
    format = other.format;
    width = other.width;
    height = other.height;
    pitch = other.pitch;
    pixels = std::move(other.pixels);
    lent_ = nullptr;
    return *this;
}

void Surface::takeBack()
{
    if (!lent_)
        return;
    if (!pixels.empty())
        std::memcpy(pixels.data(), lent_, pixels.size());
    lent_ = nullptr;
}

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
