#include "platform/authored_caption_pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <cstdint>
#include <string>
#include <vector>

using namespace platform;

namespace {

// One of libass's layers: an alpha mask at (x, y) in colour RRGGBBAA (AA the transparency).
struct Layer {
    int x, y, w, h;
    uint32_t colour;
    std::vector<uint8_t> mask;  // h rows of stride bytes; the bytes past w are junk the flattening must not read
    int stride;
};

// The mask with pixel (x, y) at value(x, y), and 0x5A past the layer's width on each row.
template<typename F> Layer layer(int x, int y, int w, int h, uint32_t colour, F value)
{
    Layer l { x, y, w, h, colour, {}, w + 7 };
    l.mask.assign(static_cast<size_t>(l.stride) * h, 0x5A);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            l.mask[static_cast<size_t>(j) * l.stride + i] = static_cast<uint8_t>(value(i, j));
    return l;
}

// A mask with some texture: soft edges, full coverage and holes, the same on every run.
uint8_t busy(int i, int j)
{
    const unsigned v = static_cast<unsigned>(i * 37 + j * 91 + (i * j) % 13) % 9;
    return v < 2 ? 0 : v < 5 ? 255 : static_cast<uint8_t>(v * 28);
}

std::vector<ASS_Image> imagesOf(std::vector<Layer>& layers, int dx, int dy)
{
    std::vector<ASS_Image> images(layers.size());
    for (size_t k = 0; k < layers.size(); ++k) {
        ASS_Image& i = images[k];
        i = {};
        i.w = layers[k].w;
        i.h = layers[k].h;
        i.stride = layers[k].stride;
        i.bitmap = layers[k].mask.data();
        i.color = layers[k].colour;
        i.dst_x = layers[k].x + dx;
        i.dst_y = layers[k].y + dy;
        i.next = k + 1 < layers.size() ? &images[k + 1] : nullptr;
    }
    return images;
}

uint32_t scaled(uint32_t x, uint32_t a) { return (x * a + 127) / 255; }

// Composition and blending worked out pixel by pixel over the whole frame, the plain way: each layer over
// premultiplied colour with coverage, each channel rounded once to the nearest of its sum over 255.
void referenceBlend(const std::vector<Layer>& layers, int width, int height, Surface& target, int left, int top)
{
    std::vector<uint32_t> a(static_cast<size_t>(width) * height), r(a.size()), g(a.size()), b(a.size());
    for (const Layer& l : layers) {
        if ((l.colour & 0xFF) == 0xFF)
            continue;
        for (int j = 0; j < l.h; ++j)
            for (int i = 0; i < l.w; ++i) {
                const int x = l.x + i, y = l.y + j;
                if (x < 0 || y < 0 || x >= width || y >= height)
                    continue;
                const size_t p = static_cast<size_t>(y) * width + x;
                const uint32_t alpha = scaled(l.mask[static_cast<size_t>(j) * l.stride + i], 255 - (l.colour & 0xFF));
                a[p] = scaled(a[p], 255 - alpha) + alpha;
                r[p] = (r[p] * (255 - alpha) + (l.colour >> 24) * alpha + 127) / 255;
                g[p] = (g[p] * (255 - alpha) + ((l.colour >> 16) & 0xFF) * alpha + 127) / 255;
                b[p] = (b[p] * (255 - alpha) + ((l.colour >> 8) & 0xFF) * alpha + 127) / 255;
            }
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t p = static_cast<size_t>(y) * width + x;
            const int tx = left + x, ty = top + y;
            if (!a[p] || tx < 0 || ty < 0 || tx >= target.width || ty >= target.height)
                continue;
            int dr = 0, dg = 0, db = 0;
            readRgb(target, tx, ty, dr, dg, db);
            const uint32_t keep = 255 - a[p];
            writePixel(target, tx, ty,
                packPixel(target.format, static_cast<int>(std::min(scaled(dr, keep) + r[p], 255u)),
                    static_cast<int>(std::min(scaled(dg, keep) + g[p], 255u)),
                    static_cast<int>(std::min(scaled(db, keep) + b[p], 255u))));
        }
}

Surface picture(int width, int height, PixelFormat format)
{
    Surface s(width, height, format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            writePixel(s, x, y, packPixel(format, (x * 7) & 255, (y * 5) & 255, (x ^ y) & 255));
    return s;
}

struct PixelCase {
    std::string name;
    std::vector<Layer> layers;
};

void PrintTo(const PixelCase& c, std::ostream* out) { *out << c.name; }

class AuthoredCaptionPixels : public testing::TestWithParam<PixelCase> {};

// Flattened and blended, the layers give exactly the pixels worked out one by one, with the frame partly
// off the target, and with the canvas and the rendering's memory used just before by the layers elsewhere.
TEST_P(AuthoredCaptionPixels, AreThoseComposedPixelByPixel)
{
    constexpr int width = 200, height = 90;
    const PictureFrame frame { 0, 0, width, height, width, height };
    std::vector<Layer> layers = GetParam().layers;
    authored::Canvas canvas;
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<ASS_Image> moved = imagesOf(layers, 37, -11);
        std::shared_ptr<authored::Rendering> before = authored::flatten(moved.data(), frame, canvas);
        std::vector<ASS_Image> images = imagesOf(layers, 0, 0);
        std::shared_ptr<authored::Rendering> made = authored::flatten(images.data(), frame, canvas, before);

        Surface expected = picture(width + 10, height, PixelFormat::XRGB8888);
        Surface blended = expected;
        referenceBlend(layers, width, height, expected, 6, -3);
        authored::blendRendering(blended, *made, 6, -3);
        for (int y = 0; y < expected.height; ++y)
            for (int x = 0; x < expected.width; ++x)
                ASSERT_EQ(readPixel(blended, x, y), readPixel(expected, x, y)) << "at " << x << "," << y << ", pass " << pass;
    }
}

INSTANTIATE_TEST_SUITE_P(Layers, AuthoredCaptionPixels,
    testing::Values(
        // Shadow, outline and fill of different colours and transparencies over one another.
        PixelCase { "overlapping_colours", { layer(20, 10, 90, 40, 0x10203080, busy), layer(24, 14, 90, 40, 0xF0E0D000, busy),
            layer(30, 18, 70, 30, 0x00FF8040, [](int i, int j) { return (i + j) % 3 ? 255 : 0; }) } },
        // Layers cut by every edge of the frame, one ending exactly at its bottom-right corner and one wholly
        // transparent (never drawn).
        PixelCase { "at_the_frame_edges", { layer(-15, -6, 60, 30, 0xFFFFFF00, busy), layer(170, 70, 30, 20, 0x00FF0000, busy),
            layer(185, -4, 40, 110, 0x0000FF30, busy), layer(0, 0, 200, 90, 0xFF0000FF, busy) } },
        // Single pixels apart by 15 to 33 clear ones, around the stretch, block and run sizes.
        PixelCase { "sparse_pixels", { layer(3, 5, 190, 20, 0xC0C0C000, [](int i, int j) {
            int x = 0;
            for (int gap = 15 + j; x < i; x += gap + 1)
                ;
            return x == i ? 200 : 0;
        }) } },
        // Signs on the same rows close together (one run) and far apart (two).
        PixelCase { "signs_on_the_same_rows", { layer(10, 30, 40, 20, 0x80FF8000, busy), layer(60, 34, 30, 20, 0xFF80FF00, busy),
            layer(150, 28, 40, 25, 0x8080FF10, busy) } }),
    [](const testing::TestParamInfo<PixelCase>& info) { return info.param.name; });

}
