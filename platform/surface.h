// A DirectDraw surface on this platform: a CPU pixel buffer in the display's format, and the views
// through which drawing reaches pixels, whoever owns them.
#pragma once

#include <cstdint>
#include <cstddef>
#include <type_traits>
#include <vector>

namespace platform {

enum class PixelFormat {
    RGB565,    // 16 bits per pixel, the same layout as SDL_PIXELFORMAT_RGB565 and AV_PIX_FMT_RGB565.
    XRGB8888,  // 32 bits per pixel, SDL_PIXELFORMAT_XRGB8888 and AV_PIX_FMT_0RGB32.
};

constexpr int bitsPerPixelOf(PixelFormat format) { return format == PixelFormat::RGB565 ? 16 : 32; }

// Pixels that belong to someone else (a surface, a window's framebuffer), top row first; pitch is the
// byte distance between rows. Drawing takes these, so it draws alike wherever the pixels live.
template <typename Byte>
struct BasicPixelView {
    Byte* bytes = nullptr;
    int pitch = 0;
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::XRGB8888;

    int bitsPerPixel() const { return bitsPerPixelOf(format); }
    Byte* data() const { return bytes; }
    Byte* row(int y) const { return bytes + static_cast<std::size_t>(y) * pitch; }
    bool empty() const { return !bytes || width <= 0 || height <= 0; }
    operator BasicPixelView<const uint8_t>() const
        requires(!std::is_const_v<Byte>)
    {
        return { bytes, pitch, width, height, format };
    }
};
using PixelView = BasicPixelView<uint8_t>;
using ConstPixelView = BasicPixelView<const uint8_t>;

// Pixels of its own, pitch × height bytes; copied and moved like any value.
struct Surface {
    PixelFormat format = PixelFormat::XRGB8888;
    int width = 0;
    int height = 0;
    int pitch = 0;
    std::vector<uint8_t> pixels;

    Surface() = default;
    Surface(int w, int h, PixelFormat f)
        : format(f)
        , width(w > 0 ? w : 0)
        , height(h > 0 ? h : 0)
        , pitch(width * (bitsPerPixelOf(f) / 8))
        , pixels(static_cast<std::size_t>(pitch) * static_cast<std::size_t>(height))
    {
    }
    // A copy of what view holds.
    Surface(ConstPixelView view);
    Surface(PixelView view)
        : Surface(ConstPixelView(view))
    {
    }

    int bitsPerPixel() const { return bitsPerPixelOf(format); }
    uint8_t* data() { return pixels.data(); }
    const uint8_t* data() const { return pixels.data(); }
    uint8_t* row(int y) { return data() + static_cast<std::size_t>(y) * pitch; }
    const uint8_t* row(int y) const { return data() + static_cast<std::size_t>(y) * pitch; }

    PixelView view() { return { pixels.data(), pitch, width, height, format }; }
    ConstPixelView view() const { return { pixels.data(), pitch, width, height, format }; }
    operator PixelView() { return view(); }
    operator ConstPixelView() const { return view(); }
};

// Copies source into target of the same size and format.
void copyPixels(ConstPixelView source, PixelView target);

// Colour conversion between 8-bit RGB and the surface's pixel value.
constexpr uint32_t packPixel(PixelFormat f, int r, int g, int b)
{
    if (f == PixelFormat::RGB565)
        return static_cast<uint32_t>(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | ((b & 0xF8) >> 3));
    return static_cast<uint32_t>(((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF));
}

uint32_t readPixel(ConstPixelView, int x, int y);
void writePixel(PixelView, int x, int y, uint32_t value);
// The pixel at (x, y) as 8-bit red, green, blue (low bits of RGB565 widened by replication).
void readRgb(ConstPixelView, int x, int y, int& r, int& g, int& b);

}
