#include "platform/authored_caption_pixels.h"

#include <algorithm>
#include <cstring>

namespace platform::authored {

namespace {

// A rendering is flattened into premultiplied pixels only over the rows' runs of visible pixels; runs
// closer than this are joined, so a line of text is one run and two signs far apart are two.
constexpr int joinedGap = 24;

// x × a / 255, rounded, for x and a from 0 to 255.
inline uint32_t scale255(uint32_t x, uint32_t a)
{
    uint32_t v = x * a + 128;
    return (v + (v >> 8)) >> 8;
}

// The same in 16 bits, which the product and the rounding never leave (255 × 255 + 128 + 254 < 65536);
// the compiler then works on eight pixels at once.
inline uint16_t scale255(uint16_t x, uint16_t a)
{
    uint16_t v = static_cast<uint16_t>(x * a + 128);
    return static_cast<uint16_t>((v + (v >> 8)) >> 8);
}



// Composes n pixels of one layer (mask m in colour r, g, b at opacity) over the canvas row starting at
// index i. Without branches: a pixel the mask leaves out comes back unchanged, since x × 255 / 255
// rounds to x exactly.
__attribute__((target_clones("avx2", "default"))) void composeRow(Canvas& c, size_t i, const uint8_t* m, int n, uint16_t r, uint16_t g, uint16_t b, uint16_t opacity)
{
    uint8_t* __restrict pa = c.a.data() + i;
    uint8_t* __restrict pr = c.r.data() + i;
    uint8_t* __restrict pg = c.g.data() + i;
    uint8_t* __restrict pb = c.b.data() + i;
    for (int x = 0; x < n; ++x) {
        const uint16_t a = scale255(static_cast<uint16_t>(m[x]), opacity);
        const uint16_t keep = static_cast<uint16_t>(255 - a);
        pa[x] = static_cast<uint8_t>(scale255(static_cast<uint16_t>(pa[x]), keep) + a);
        pr[x] = static_cast<uint8_t>(scale255(static_cast<uint16_t>(pr[x]), keep) + scale255(r, a));
        pg[x] = static_cast<uint8_t>(scale255(static_cast<uint16_t>(pg[x]), keep) + scale255(g, a));
        pb[x] = static_cast<uint8_t>(scale255(static_cast<uint16_t>(pb[x]), keep) + scale255(b, a));
    }
}

// The first index from x on whose coverage is not 0, or n; eight pixels at a time over clear stretches.
int skipClear(const uint8_t* coverage, int x, int n)
{
    for (; x + 8 <= n; x += 8) {
        uint64_t eight;
        std::memcpy(&eight, coverage + x, sizeof eight);
        if (eight)
            break;
    }
    while (x < n && !coverage[x])
        ++x;
    return x;
}

}

std::shared_ptr<Rendering> flatten(const ASS_Image* images, const PictureFrame& frame, Canvas& c)
{
    auto made = std::make_shared<Rendering>();
    made->width = frame.width;
    made->height = frame.height;
    made->pictureWidth = frame.pictureWidth;
    made->pictureHeight = frame.pictureHeight;

    auto shown = [](const ASS_Image* i) { return i->w > 0 && i->h > 0 && i->bitmap && (i->color & 0xFF) != 0xFF; };
    int left = frame.width, top = frame.height, right = 0, bottom = 0;
    for (const ASS_Image* i = images; i; i = i->next) {
        if (!shown(i))
            continue;
        left = std::min(left, std::max(i->dst_x, 0));
        top = std::min(top, std::max(i->dst_y, 0));
        right = std::max(right, static_cast<int>(std::min<int64_t>(static_cast<int64_t>(i->dst_x) + i->w, frame.width)));
        bottom = std::max(bottom, static_cast<int>(std::min<int64_t>(static_cast<int64_t>(i->dst_y) + i->h, frame.height)));
    }
    if (left >= right || top >= bottom)
        return made;
    const size_t area = static_cast<size_t>(right - left) * static_cast<size_t>(bottom - top);
    c.left = left;
    c.top = top;
    c.width = right - left;
    c.height = bottom - top;
    for (std::vector<uint8_t>* plane : { &c.a, &c.r, &c.g, &c.b }) {
        plane->resize(std::max(plane->size(), area));
        std::fill_n(plane->begin(), area, uint8_t(0));
    }
    made->pixels.reserve(area / 2);
    for (const ASS_Image* i = images; i; i = i->next) {
        if (!shown(i))
            continue;
        const int x0 = std::max(i->dst_x, left);
        const int x1 = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(i->dst_x) + i->w, right));
        const int y0 = std::max(i->dst_y, top);
        const int y1 = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(i->dst_y) + i->h, bottom));
        for (int y = y0; y < y1; ++y)
            composeRow(c, static_cast<size_t>(y - top) * c.width + (x0 - left),
                i->bitmap + static_cast<ptrdiff_t>(y - i->dst_y) * i->stride + (x0 - i->dst_x), x1 - x0,
                static_cast<uint16_t>(i->color >> 24), static_cast<uint16_t>((i->color >> 16) & 0xFF),
                static_cast<uint16_t>((i->color >> 8) & 0xFF), static_cast<uint16_t>(255 - (i->color & 0xFF)));
    }
    for (int y = 0; y < c.height; ++y) {
        const size_t rowStart = static_cast<size_t>(y) * c.width;
        const uint8_t* coverage = c.a.data() + rowStart;
        const int w = c.width;
        int x = skipClear(coverage, 0, w);
        while (x < w) {
            // The run goes on over gaps shorter than joinedGap.
            int end = x;
            for (;;) {
                while (end < w && coverage[end])
                    ++end;
                const int next = skipClear(coverage, end, w);
                if (next >= w || next - end >= joinedGap)
                    break;
                end = next;
            }
            made->runs.push_back({ left + x, top + y, end - x, made->pixels.size() });
            const size_t at = made->pixels.size();
            made->pixels.resize(at + static_cast<size_t>(end - x));
            uint32_t* out = made->pixels.data() + at;
            const size_t p = rowStart + static_cast<size_t>(x);
            for (int k = 0; k < end - x; ++k)
                out[k] = static_cast<uint32_t>(c.a[p + k]) << 24 | static_cast<uint32_t>(c.r[p + k]) << 16
                    | static_cast<uint32_t>(c.g[p + k]) << 8 | c.b[p + k];
            x = skipClear(coverage, end, w);
        }
    }
    return made;
}

namespace {

// dst = dst × (255 - alpha) / 255 + colour, for n premultiplied pixels; written without branches so that
// the compiler can work on several pixels at once.
__attribute__((target_clones("avx2", "default"))) void blendRun(uint32_t* dst, const uint32_t* src, int n)
{
    for (int i = 0; i < n; ++i) {
        const uint32_t s = src[i];
        const uint32_t d = dst[i];
        const uint32_t keep = 255 - (s >> 24);
        const uint32_t r = scale255((d >> 16) & 0xFF, keep) + ((s >> 16) & 0xFF);
        const uint32_t g = scale255((d >> 8) & 0xFF, keep) + ((s >> 8) & 0xFF);
        const uint32_t b = scale255(d & 0xFF, keep) + (s & 0xFF);
        dst[i] = (d & 0xFF000000u) | (std::min(r, 255u) << 16) | (std::min(g, 255u) << 8) | std::min(b, 255u);
    }
}

void blendRun565(uint16_t* dst, const uint32_t* src, int n)
{
    for (int i = 0; i < n; ++i) {
        const uint32_t s = src[i];
        if (!(s >> 24))
            continue;
        const uint32_t keep = 255 - (s >> 24);
        const uint32_t d = dst[i];
        const uint32_t r = scale255(((d >> 11) & 0x1F) * 255 / 31, keep) + ((s >> 16) & 0xFF);
        const uint32_t g = scale255(((d >> 5) & 0x3F) * 255 / 63, keep) + ((s >> 8) & 0xFF);
        const uint32_t b = scale255((d & 0x1F) * 255 / 31, keep) + (s & 0xFF);
        dst[i] = static_cast<uint16_t>(packPixel(PixelFormat::RGB565, static_cast<int>(std::min(r, 255u)),
            static_cast<int>(std::min(g, 255u)), static_cast<int>(std::min(b, 255u))));
    }
}

}

void blendRendering(PixelView target, const Rendering& shown, int64_t left, int64_t top)
{
    for (const Run& run : shown.runs) {
        const int64_t y = top + run.y;
        if (y < 0 || y >= target.height)
            continue;
        const int64_t x0 = std::max<int64_t>(left + run.x, 0);
        const int64_t x1 = std::min<int64_t>(left + run.x + run.length, target.width);
        if (x0 >= x1)
            continue;
        const uint32_t* src = shown.pixels.data() + run.offset + (x0 - left - run.x);
        uint8_t* row = target.row(static_cast<int>(y));
        if (target.format == PixelFormat::XRGB8888)
            blendRun(reinterpret_cast<uint32_t*>(row) + x0, src, static_cast<int>(x1 - x0));
        else
            blendRun565(reinterpret_cast<uint16_t*>(row) + x0, src, static_cast<int>(x1 - x0));
    }
}

}
