// A DirectDraw surface on this platform: a CPU pixel buffer in the display's format.
#pragma once

#include <cstdint>
#include <cstddef>
#include <vector>

namespace platform {

enum class PixelFormat {
    RGB565,    // 16 bits per pixel, the same layout as SDL_PIXELFORMAT_RGB565 and AV_PIX_FMT_RGB565.
    XRGB8888,  // 32 bits per pixel, SDL_PIXELFORMAT_XRGB8888 and AV_PIX_FMT_0RGB32.
};

constexpr int bitsPerPixelOf(PixelFormat format) { return format == PixelFormat::RGB565 ? 16 : 32; }

// Pixels are stored top row first; pitch is the byte distance between rows. They live in the surface's
// own buffer (pixels), or, while it is lent memory of the same layout (a window's framebuffer, so that
// what is drawn into the surface is what is shown), in that memory: read and write them through row()
// and data(), which know where they are.
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
    // A copy always has pixels of its own. A lent surface is copied, never moved, so that its loan stays
    // with the surface it was made to; assigning to a lent surface ends its loan.
    Surface(const Surface& other);
    Surface& operator=(const Surface& other);
    Surface(Surface&& other) noexcept;
    Surface& operator=(Surface&& other) noexcept;
    ~Surface() = default;

    int bitsPerPixel() const { return bitsPerPixelOf(format); }
    uint8_t* data() { return lent_ ? lent_ : pixels.data(); }
    const uint8_t* data() const { return lent_ ? lent_ : pixels.data(); }
    uint8_t* row(int y) { return data() + static_cast<std::size_t>(y) * pitch; }
    const uint8_t* row(int y) const { return data() + static_cast<std::size_t>(y) * pitch; }

    // From now on memory (pitch × height bytes laid out like the surface) holds the pixels; what it
    // holds already becomes the surface's content. It must outlive the loan.
    void lend(uint8_t* memory) { lent_ = memory; }
    // Takes the pixels back into the surface's own buffer, with the content the lent memory holds.
    void takeBack();
    // Ends a loan whose memory is already gone: the surface keeps what it held when the loan began.
    void dropLoan() { lent_ = nullptr; }
    bool lent() const { return lent_ != nullptr; }

private:
    uint8_t* lent_ = nullptr;
};

// Colour conversion between 8-bit RGB and the surface's pixel value.
constexpr uint32_t packPixel(PixelFormat f, int r, int g, int b)
{
    if (f == PixelFormat::RGB565)
        return static_cast<uint32_t>(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | ((b & 0xF8) >> 3));
    return static_cast<uint32_t>(((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF));
}

uint32_t readPixel(const Surface&, int x, int y);
void writePixel(Surface&, int x, int y, uint32_t value);
// The pixel at (x, y) as 8-bit red, green, blue (low bits of RGB565 widened by replication).
void readRgb(const Surface&, int x, int y, int& r, int& g, int& b);

}
