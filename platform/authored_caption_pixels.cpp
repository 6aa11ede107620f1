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

// v / 255 rounded, for v from 0 to 255 × 255, in 16 bits, which the rounding never leaves
// (255 × 255 + 128 + 254 < 65536); each step is cut to 16 bits so that the compiler knows it too and works
// on sixteen pixels at once.
inline uint16_t div255(uint16_t v)
{
    const uint16_t w = static_cast<uint16_t>(v + 128);
    const uint16_t rounded = static_cast<uint16_t>(w + (w >> 8));
    return static_cast<uint16_t>(rounded >> 8);
}

// x × a / 255 rounded, for x and a from 0 to 255, in 16 bits.
inline uint16_t scale255(uint16_t x, uint16_t a)
{
    return div255(static_cast<uint16_t>(x * a));
}



// Layers are composed this many rows of the frame at a time, so that the canvas stays in the cache while
// every layer crossing those rows is composed onto it and its runs are kept.
constexpr int bandRows = 16;

// Layers are composed a block of this many pixels at a time, so that the compiler's vector loop has no
// remainder to do one pixel at a time; the planes reach this far past the canvas.
constexpr int composedBlock = 32;

// Composes blocks × composedBlock pixels of one layer (mask m in colour r, g, b at opacity) over the canvas
// starting at index i; a colour is rounded once, from what shows through and what the layer adds together
// (x × (255 - a) + c × a, at most 255 × 255). Without branches: a pixel the mask leaves out comes back unchanged, since
// x × 255 / 255 rounds to x exactly, which is also what makes composing whole blocks past a layer's
// edge (with a clear mask) harmless.
__attribute__((target_clones("avx2", "default"))) void composeBlocks(Canvas& c, size_t i, const uint8_t* __restrict m,
    int blocks, uint16_t r, uint16_t g, uint16_t b, uint16_t opacity)
{
    uint8_t* __restrict pa = c.a.data() + i;
    uint8_t* __restrict pr = c.r.data() + i;
    uint8_t* __restrict pg = c.g.data() + i;
    uint8_t* __restrict pb = c.b.data() + i;
    for (int k = 0; k < blocks; ++k, m += composedBlock, pa += composedBlock, pr += composedBlock,
             pg += composedBlock, pb += composedBlock)
        for (int x = 0; x < composedBlock; ++x) {
            const uint16_t a = scale255(static_cast<uint16_t>(m[x]), opacity);
            const uint16_t keep = static_cast<uint16_t>(255 - a);
            pa[x] = static_cast<uint8_t>(scale255(static_cast<uint16_t>(pa[x]), keep) + a);
            pr[x] = static_cast<uint8_t>(div255(static_cast<uint16_t>(pr[x] * keep + r * a)));
            pg[x] = static_cast<uint8_t>(div255(static_cast<uint16_t>(pg[x] * keep + g * a)));
            pb[x] = static_cast<uint8_t>(div255(static_cast<uint16_t>(pb[x] * keep + b * a)));
        }
}

// Composes n pixels of one layer over the canvas from index i: the whole blocks straight from the mask,
// the rest as one block of the mask's last pixels followed by clear ones.
void composeRow(Canvas& c, size_t i, const uint8_t* m, int n, uint16_t r, uint16_t g, uint16_t b,
    uint16_t opacity)
{
    const int whole = n / composedBlock;
    composeBlocks(c, i, m, whole, r, g, b, opacity);
    const int rest = n - whole * composedBlock;
    if (rest == 0)
        return;
    uint8_t last[composedBlock] = {};
    const size_t done = static_cast<size_t>(whole) * composedBlock;
    std::memcpy(last, m + done, static_cast<size_t>(rest));
    composeBlocks(c, i + done, last, 1, r, g, b, opacity);
}

// Takes the n composed pixels of the canvas from index i into out, as a rendering keeps them, and clears
// them on the canvas for the next band, in the same pass.
__attribute__((target_clones("avx2", "default"))) void takeRun(uint32_t* __restrict out, Canvas& c, size_t i, int n)
{
    uint8_t* __restrict pa = c.a.data() + i;
    uint8_t* __restrict pr = c.r.data() + i;
    uint8_t* __restrict pg = c.g.data() + i;
    uint8_t* __restrict pb = c.b.data() + i;
    for (int k = 0; k < n; ++k) {
        out[k] = static_cast<uint32_t>(pa[k]) << 24 | static_cast<uint32_t>(pr[k]) << 16
            | static_cast<uint32_t>(pg[k]) << 8 | pb[k];
        pa[k] = pr[k] = pg[k] = pb[k] = 0;
    }
}

// The first index from x on whose coverage is not 0, or n; 32 pixels at a time over long clear
// stretches, then eight.
int skipClear(const uint8_t* coverage, int x, int n)
{
    for (; x + 32 <= n; x += 32) {
        uint64_t four[4];
        std::memcpy(four, coverage + x, sizeof four);
        if (four[0] | four[1] | four[2] | four[3])
            break;
    }
    for (; x + 8 <= n; x += 8) {
        uint64_t eight;
        std::memcpy(&eight, coverage + x, sizeof eight);
        // The pixels lie in the word lowest byte first.
        if (eight)
            return x + __builtin_ctzll(eight) / 8;
    }
    while (x < n && !coverage[x])
        ++x;
    return x;
}

// One past the last index before end whose coverage is not 0; there is one at from or after it.
int lastShown(const uint8_t* coverage, int from, int end)
{
    for (; end - 8 >= from; end -= 8) {
        uint64_t eight;
        std::memcpy(&eight, coverage + end - 8, sizeof eight);
        if (eight)
            return end - __builtin_clzll(eight) / 8;
    }
    while (!coverage[end - 1])
        --end;
    return end;
}

// A layer's mask is composed over its stretches that show: a stretch ends at this many pixels the mask
// leaves clear (from a block boundary on). The clear pixels within a stretch come back unchanged; shorter
// stretches would cost more in setting each of them up than they save.
constexpr int clearStretch = 32;

bool clearBlock(const uint8_t* m)
{
    uint64_t words[clearStretch / 8];
    std::memcpy(words, m, sizeof words);
    uint64_t shown = 0;
    for (uint64_t w : words)
        shown |= w;
    return shown == 0;
}

// Adds the span from, to to a row's spans, joined with those it overlaps or comes closer to than joinedGap.
void addSpan(std::vector<Span>& spans, int from, int to)
{
    auto at = spans.begin();
    while (at != spans.end() && at->to + joinedGap <= from)
        ++at;
    if (at == spans.end() || at->from >= to + joinedGap) {
        spans.insert(at, { from, to });
        return;
    }
    at->from = std::min(at->from, from);
    at->to = std::max(at->to, to);
    auto next = at + 1;
    while (next != spans.end() && next->from < at->to + joinedGap) {
        at->to = std::max(at->to, next->to);
        ++next;
    }
    spans.erase(at + 1, next);
}

// Composes row y of one layer (n mask pixels from canvas column x) and adds the stretches composed to the
// row's spans. A rotated or blurred sign's box is mostly empty mask.
void composeLayerRow(Canvas& c, int y, int x, const uint8_t* m, int n, uint16_t r, uint16_t g, uint16_t b,
    uint16_t opacity)
{
    const size_t row = static_cast<size_t>(y) * c.width + x;
    int from = skipClear(m, 0, n);
    while (from < n) {
        int end = from;
        while (end + clearStretch <= n && !clearBlock(m + end))
            end += clearStretch;
        if (end + clearStretch > n)
            end = n;
        end = lastShown(m, from, end);
        composeRow(c, row + from, m + from, end - from, r, g, b, opacity);
        addSpan(c.rows[y], x + from, x + end);
        from = skipClear(m, end, n);
    }
}

}

std::shared_ptr<Rendering> flatten(const ASS_Image* images, const PictureFrame& frame, Canvas& c,
    std::shared_ptr<Rendering> reused)
{
    std::shared_ptr<Rendering> made = reused ? std::move(reused) : std::make_shared<Rendering>();
    made->runs.clear();
    made->pixels.clear();
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
    c.left = left;
    c.top = top;
    c.width = right - left;
    c.height = std::min(bottom - top, bandRows);
    const size_t area = static_cast<size_t>(c.width) * static_cast<size_t>(c.height);
    // Bytes past what the planes held are new and 0; those before were cleared by the last band.
    for (std::vector<uint8_t>* plane : { &c.a, &c.r, &c.g, &c.b })
        if (plane->size() < area + composedBlock)
            plane->resize(area + composedBlock);
    c.rows.resize(std::max(c.rows.size(), static_cast<size_t>(c.height)));
    for (int band = top; band < bottom; band += bandRows) {
        const int bandEnd = std::min(band + bandRows, bottom);
        for (const ASS_Image* i = images; i; i = i->next) {
            if (!shown(i))
                continue;
            const int y0 = std::max(i->dst_y, band);
            const int y1 = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(i->dst_y) + i->h, bandEnd));
            if (y0 >= y1)
                continue;
            const int x0 = std::max(i->dst_x, left);
            const int x1 = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(i->dst_x) + i->w, right));
            for (int y = y0; y < y1; ++y)
                composeLayerRow(c, y - band, x0 - left,
                    i->bitmap + static_cast<ptrdiff_t>(y - i->dst_y) * i->stride + (x0 - i->dst_x), x1 - x0,
                    static_cast<uint16_t>(i->color >> 24), static_cast<uint16_t>((i->color >> 16) & 0xFF),
                    static_cast<uint16_t>((i->color >> 8) & 0xFF), static_cast<uint16_t>(255 - (i->color & 0xFF)));
        }
        // Each span becomes a run, taken off the canvas.
        size_t at = made->pixels.size();
        size_t taken = 0;
        for (int y = band; y < bandEnd; ++y)
            for (const Span& span : c.rows[static_cast<size_t>(y - band)])
                taken += static_cast<size_t>(span.to - span.from);
        made->pixels.resize(at + taken);
        for (int y = band; y < bandEnd; ++y) {
            std::vector<Span>& spans = c.rows[static_cast<size_t>(y - band)];
            const size_t rowStart = static_cast<size_t>(y - band) * c.width;
            for (const Span& span : spans) {
                const int length = span.to - span.from;
                made->runs.push_back({ left + span.from, y, length, at });
                takeRun(made->pixels.data() + at, c, rowStart + static_cast<size_t>(span.from), length);
                at += static_cast<size_t>(length);
            }
            spans.clear();
        }
    }
    return made;
}

namespace {

// dst = dst × (255 - alpha) / 255 + colour, for n premultiplied pixels; red and blue are scaled together in
// one 32-bit product (each half stays below 65536), green with the unused top byte in another. No channel
// can pass 255: a composed colour never exceeds its coverage, and x × (255 - a) / 255 rounds to at most
// 255 - a. Without branches, so that the compiler works on several pixels at once.
__attribute__((target_clones("avx2", "default"))) void blendRun(uint32_t* __restrict dst, const uint32_t* __restrict src, int n)
{
    for (int i = 0; i < n; ++i) {
        const uint32_t s = src[i];
        const uint32_t d = dst[i];
        const uint32_t keep = 255 - (s >> 24);
        uint32_t rb = (d & 0x00FF00FFu) * keep + 0x00800080u;
        rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
        uint32_t g = ((d >> 8) & 0x00FF00FFu) * keep + 0x00800080u;
        g = ((g + ((g >> 8) & 0x00FF00FFu)) >> 8) & 0x000000FFu;
        dst[i] = (d & 0xFF000000u) | (rb + (s & 0x00FF00FFu)) | ((g + ((s >> 8) & 0xFFu)) << 8);
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

// The part of the target row a run covers, from x0 up to x1; none (x0 >= x1) when it lies outside.
struct Covered {
    int64_t y, x0, x1;
};

Covered covered(PixelView target, const Run& run, int64_t left, int64_t top)
{
    const int64_t y = top + run.y;
    if (y < 0 || y >= target.height)
        return { y, 0, 0 };
    return { y, std::max<int64_t>(left + run.x, 0), std::min<int64_t>(left + run.x + run.length, target.width) };
}

// Runs are short and each on a row of its own, too far apart for the processor to fetch the target's
// pixels ahead; they are asked for this many runs before they are blended.
constexpr size_t fetchedAhead = 3;
// What the processor fetches at once (its cache line).
constexpr int64_t fetchedBytes = 64;

}

void blendRendering(PixelView target, const Rendering& shown, int64_t left, int64_t top)
{
    const int64_t bytes = target.format == PixelFormat::XRGB8888 ? 4 : 2;
    for (size_t k = 0; k < shown.runs.size(); ++k) {
        if (k + fetchedAhead < shown.runs.size()) {
            const Covered next = covered(target, shown.runs[k + fetchedAhead], left, top);
            if (next.x0 < next.x1) {
                const uint8_t* row = target.row(static_cast<int>(next.y));
                for (int64_t at = next.x0 * bytes; at < next.x1 * bytes; at += fetchedBytes)
                    __builtin_prefetch(row + at, 1);
            }
        }
        const Run& run = shown.runs[k];
        const auto [y, x0, x1] = covered(target, run, left, top);
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
