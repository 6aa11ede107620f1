#include "platform/gdi/gdi.h"

#include "support/drawing.h"

#include <gtest/gtest.h>

using platform::PixelFormat;
using platform::Surface;

namespace {

class SurfaceFormats : public ::testing::TestWithParam<PixelFormat> { };

std::string formatName(const ::testing::TestParamInfo<PixelFormat>& info)
{
    return info.param == PixelFormat::RGB565 ? "Rgb565" : "Xrgb8888";
}

uint32_t pixel(PixelFormat f, int r, int g, int b) { return platform::packPixel(f, r, g, b); }

// Row y of the source gets grey level 32 * y + 7, column x adds nothing: rows are told apart by colour,
// in 16 bits too.
Surface rowRamp(PixelFormat f, int w, int h)
{
    Surface s(w, h, f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            platform::writePixel(s, x, y, pixel(f, (32 * y + 7) & 255, (32 * y + 7) & 255, (32 * y + 7) & 255));
    return s;
}

}

TEST_P(SurfaceFormats, StockBrushesFillExactlyTheRectangle)
{
    Surface s(20, 10, GetParam());
    HDC dc = platform::createSurfaceDC(s);
    RECT grey { 2, 3, 7, 5 };
    EXPECT_TRUE(FillRect(dc, &grey, GetStockObject(LTGRAY_BRUSH)));
    RECT white { 15, -4, 40, 2 };  // partly outside: clipped
    FillRect(dc, &white, GetStockObject(WHITE_BRUSH));
    RECT inverted { 9, 9, 8, 8 };
    FillRect(dc, &inverted, GetStockObject(WHITE_BRUSH));
    RECT black { 3, 4, 4, 5 };
    FillRect(dc, &black, GetStockObject(BLACK_BRUSH));

    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            uint32_t expected = 0;
            if (x >= 2 && x < 7 && y >= 3 && y < 5)
                expected = pixel(s.format, 192, 192, 192);
            if (x >= 15 && y < 2)
                expected = pixel(s.format, 255, 255, 255);
            if (x == 3 && y == 4)
                expected = pixel(s.format, 0, 0, 0);
            ASSERT_EQ(platform::readPixel(s, x, y), expected) << x << "," << y;
        }
    EXPECT_EQ(FillRect(dc, &grey, nullptr), 0);
    platform::destroySurfaceDC(dc);
}

TEST_P(SurfaceFormats, HalftoneStretchWithNegativeSourceHeightMirrorsTopToBottom)
{
    Surface src = rowRamp(GetParam(), 8, 16);
    Surface dst(8, 16, GetParam());
    HDC to = platform::createSurfaceDC(dst);
    HDC from = platform::createSurfaceDC(src);
    SetStretchBltMode(to, HALFTONE);
    // As frame composition asks for a flipped picture: y0 = srcY + srcHeight, h0 = -srcHeight.
    EXPECT_TRUE(StretchBlt(to, 0, 0, 8, 16, from, 0, 16, 8, -16, SRCCOPY));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(platform::readPixel(dst, x, y), platform::readPixel(src, x, 15 - y)) << x << "," << y;
    platform::destroySurfaceDC(from);
    platform::destroySurfaceDC(to);
}

TEST_P(SurfaceFormats, HalftoneAveragesAreas)
{
    // A one-pixel checkerboard halved in both directions becomes flat mid grey.
    Surface src(16, 8, GetParam());
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            platform::writePixel(src, x, y, (x + y) % 2 ? pixel(src.format, 255, 255, 255) : pixel(src.format, 0, 0, 0));
    Surface dst(8, 4, GetParam());
    HDC to = platform::createSurfaceDC(dst);
    HDC from = platform::createSurfaceDC(src);
    SetStretchBltMode(to, HALFTONE);
    StretchBlt(to, 0, 0, 8, 4, from, 0, 0, 16, 8, SRCCOPY);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            int r, g, b;
            platform::readRgb(dst, x, y, r, g, b);
            ASSERT_NEAR(r, 128, 5) << x << "," << y;
            ASSERT_NEAR(g, 128, 5);
            ASSERT_NEAR(b, 128, 5);
        }

    // Enlarging by 3/2: a flat colour stays exactly flat, and between two rows the in-between
    // destination row mixes them while the others copy one.
    Surface ramp = rowRamp(GetParam(), 4, 2);
    Surface big(6, 3, GetParam());
    HDC bigDc = platform::createSurfaceDC(big);
    HDC rampDc = platform::createSurfaceDC(ramp);
    SetStretchBltMode(bigDc, HALFTONE);
    StretchBlt(bigDc, 0, 0, 6, 3, rampDc, 0, 0, 4, 2, SRCCOPY);
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(platform::readPixel(big, x, 0), platform::readPixel(ramp, 0, 0));
        EXPECT_EQ(platform::readPixel(big, x, 2), platform::readPixel(ramp, 0, 1));
        int r, g, b, r0, r1;
        platform::readRgb(ramp, 0, 0, r0, g, b);
        platform::readRgb(ramp, 0, 1, r1, g, b);
        platform::readRgb(big, x, 1, r, g, b);
        EXPECT_GT(r, r0) << x;
        EXPECT_LT(r, r1) << x;
    }
    platform::destroySurfaceDC(rampDc);
    platform::destroySurfaceDC(bigDc);
    platform::destroySurfaceDC(from);
    platform::destroySurfaceDC(to);
}

TEST_P(SurfaceFormats, ColorOnColorStretchRepeatsPixels)
{
    Surface src = rowRamp(GetParam(), 2, 2);
    platform::writePixel(src, 1, 0, pixel(src.format, 255, 0, 0));
    Surface dst(4, 4, GetParam());
    HDC to = platform::createSurfaceDC(dst);
    HDC from = platform::createSurfaceDC(src);
    SetStretchBltMode(to, COLORONCOLOR);
    StretchBlt(to, 0, 0, 4, 4, from, 0, 0, 2, 2, SRCCOPY);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(platform::readPixel(dst, x, y), platform::readPixel(src, x / 2, y / 2)) << x << "," << y;
    EXPECT_FALSE(StretchBlt(to, 0, 0, 4, 4, from, 0, 0, 2, 2, 0x00EE0086)) << "only plain copies are supported";
    platform::destroySurfaceDC(from);
    platform::destroySurfaceDC(to);
}

TEST_P(SurfaceFormats, BltScalesMirrorsAndStaysInsideItsSurfaces)
{
    Surface src = rowRamp(GetParam(), 4, 4);
    Surface dst(8, 8, GetParam());
    platform::bltScaled(dst, RECT { 0, 0, 8, 8 }, src, RECT { 0, 0, 4, 4 }, platform::Mirror::UpDown);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(platform::readPixel(dst, x, y), platform::readPixel(src, x / 2, 3 - y / 2)) << x << "," << y;

    // Same size, part of the picture: rows copy as they are.
    Surface same(4, 4, GetParam());
    platform::bltScaled(same, RECT { 1, 1, 3, 3 }, src, RECT { 2, 1, 4, 3 }, platform::Mirror::No);
    EXPECT_EQ(platform::readPixel(same, 1, 1), platform::readPixel(src, 2, 1));
    EXPECT_EQ(platform::readPixel(same, 2, 2), platform::readPixel(src, 3, 2));
    EXPECT_EQ(platform::readPixel(same, 0, 0), 0u);

    // Rectangles reaching outside either surface are held to it rather than read or written beyond.
    platform::bltScaled(same, RECT { -5, -5, 50, 50 }, src, RECT { -3, 2, 90, 99 }, platform::Mirror::No);
    platform::bltScaled(same, RECT { 3, 3, 1, 1 }, src, RECT { 0, 0, 4, 4 }, platform::Mirror::No);
}

INSTANTIATE_TEST_SUITE_P(Formats, SurfaceFormats, ::testing::Values(PixelFormat::RGB565, PixelFormat::XRGB8888),
    formatName);

TEST(Stretch, ConvertsBetweenPixelFormats)
{
    Surface src(2, 2, PixelFormat::RGB565);
    testing_support::fillSurface(src, 255, 0, 0);
    Surface dst(4, 4, PixelFormat::XRGB8888);
    HDC to = platform::createSurfaceDC(dst);
    HDC from = platform::createSurfaceDC(src);
    SetStretchBltMode(to, HALFTONE);
    StretchBlt(to, 0, 0, 4, 4, from, 0, 0, 2, 2, SRCCOPY);
    EXPECT_EQ(platform::readPixel(dst, 3, 3), platform::packPixel(PixelFormat::XRGB8888, 255, 0, 0));
    platform::destroySurfaceDC(from);
    platform::destroySurfaceDC(to);
}
