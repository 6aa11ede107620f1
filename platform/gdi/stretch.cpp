// Scaled copies between surfaces: GDI's StretchBlt (area averaging under HALFTONE) and the plain scaled
// copy of DirectDraw's Blt.
#include "platform/gdi/device_context.h"
#include "platform/gdi/pixel_ops.h"

#include <cstring>

namespace platform {

namespace {

bool saneExtent(long v) { return v > -(1L << 28) && v < (1L << 28); }

struct Rgb {
    uint32_t r, g, b;
};

template<PixelFormat F> inline Rgb unpack(const uint8_t* row, int x)
{
    if constexpr (F == PixelFormat::XRGB8888) {
        uint32_t v;
        std::memcpy(&v, row + x * 4, 4);
        return { (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF };
    } else {
        uint16_t v;
        std::memcpy(&v, row + x * 2, 2);
        uint32_t r5 = (v >> 11) & 0x1F, g6 = (v >> 5) & 0x3F, b5 = v & 0x1F;
        return { (r5 << 3) | (r5 >> 2), (g6 << 2) | (g6 >> 4), (b5 << 3) | (b5 >> 2) };
    }
}

template<PixelFormat F> inline void pack(uint8_t* row, int x, uint32_t r, uint32_t g, uint32_t b)
{
    if constexpr (F == PixelFormat::XRGB8888) {
        uint32_t v = (r << 16) | (g << 8) | b;
        std::memcpy(row + x * 4, &v, 4);
    } else {
        auto v = static_cast<uint16_t>(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3));
        std::memcpy(row + x * 2, &v, 2);
    }
}

// One axis of an area-averaging copy: for every destination position the same number of taps (unused
// ones weigh 0), each a source position already clamped to the source surface and its weight out of 256.
struct Axis {
    int taps = 1;
    std::vector<int> index;
    std::vector<uint32_t> weight;
};

constexpr int weightOne = 256;

int clampIndex(long long v, int limit) { return static_cast<int>(std::clamp<long long>(v, 0, limit - 1)); }

// Destination pixel j covers the source span [j*srcLen, (j+1)*srcLen) / dstLen, and each source pixel
// weighs by how much of that span it covers.
Axis areaAxis(int srcStart, int srcLen, int dstLen, bool mirror, int from, int to, int limit)
{
    Axis axis;
    const long long widest = (static_cast<long long>(srcLen) + dstLen - 1) / dstLen + 1;
    axis.taps = static_cast<int>(widest);
    axis.index.assign(static_cast<size_t>(to - from) * axis.taps, 0);
    axis.weight.assign(axis.index.size(), 0);
    for (int i = from; i < to; ++i) {
        const long long j = mirror ? dstLen - 1 - i : i;
        const long long spanBegin = j * srcLen;
        const long long spanEnd = (j + 1) * srcLen;
        const long long k0 = spanBegin / dstLen;
        const long long k1 = (spanEnd - 1) / dstLen;
        const size_t base = static_cast<size_t>(i - from) * axis.taps;
        uint32_t total = 0;
        size_t heaviest = base;
        for (long long k = k0; k <= k1; ++k) {
            const size_t at = base + static_cast<size_t>(k - k0);
            const long long overlap = std::min((k + 1) * dstLen, spanEnd) - std::max(k * dstLen, spanBegin);
            axis.weight[at] = static_cast<uint32_t>(overlap * weightOne / srcLen);
            axis.index[at] = clampIndex(srcStart + k, limit);
            total += axis.weight[at];
            if (axis.weight[at] > axis.weight[heaviest])
                heaviest = at;
        }
        // Rounding loss goes to the heaviest tap, so that a flat colour stays exactly flat.
        axis.weight[heaviest] += weightOne - total;
        for (long long k = k1 + 1; k < k0 + axis.taps; ++k)
            axis.index[base + static_cast<size_t>(k - k0)] = axis.index[base];
    }
    return axis;
}

// Nearest: the source pixel under the centre of each destination pixel.
std::vector<int> nearestAxis(int srcStart, int srcLen, int dstLen, bool mirror, int from, int to, int limit)
{
    std::vector<int> map;
    map.reserve(to - from);
    for (int i = from; i < to; ++i) {
        const long long j = mirror ? dstLen - 1 - i : i;
        map.push_back(clampIndex(srcStart + (2 * j + 1) * srcLen / (2LL * dstLen), limit));
    }
    return map;
}

struct ScaledCopy {
    const PixelView* dst;
    const ConstPixelView* src;
    RECT clip;  // destination pixels to write
    int dstX, dstY, dstW, dstH;  // the whole destination rectangle, normalised
    int srcX, srcY, srcW, srcH;  // the whole source rectangle, normalised
    bool mirrorX, mirrorY;
};

template<PixelFormat S, PixelFormat D> void copyNearest(const ScaledCopy& c)
{
    const auto cols = nearestAxis(c.srcX, c.srcW, c.dstW, c.mirrorX, c.clip.left - c.dstX, c.clip.right - c.dstX,
        c.src->width);
    const auto rows = nearestAxis(c.srcY, c.srcH, c.dstH, c.mirrorY, c.clip.top - c.dstY, c.clip.bottom - c.dstY,
        c.src->height);
    const int n = c.clip.right - c.clip.left;
    // Same format and width, no mirror and no clamping at the source's edges: whole rows copy at once.
    const bool straight = S == D && !c.mirrorX && c.srcW == c.dstW && n > 0 && cols[n - 1] - cols[0] == n - 1;
    for (int y = c.clip.top; y < c.clip.bottom; ++y) {
        const uint8_t* s = c.src->row(rows[y - c.clip.top]);
        uint8_t* d = c.dst->row(y);
        if (straight) {
            constexpr int bytes = S == PixelFormat::XRGB8888 ? 4 : 2;
            std::memcpy(d + c.clip.left * bytes, s + cols[0] * bytes, static_cast<size_t>(n) * bytes);
            continue;
        }
        if constexpr (S == D) {
            if constexpr (S == PixelFormat::XRGB8888) {
                auto* dp = reinterpret_cast<uint32_t*>(d) + c.clip.left;
                auto* sp = reinterpret_cast<const uint32_t*>(s);
                for (int x = 0; x < n; ++x)
                    dp[x] = sp[cols[x]];
            } else {
                auto* dp = reinterpret_cast<uint16_t*>(d) + c.clip.left;
                auto* sp = reinterpret_cast<const uint16_t*>(s);
                for (int x = 0; x < n; ++x)
                    dp[x] = sp[cols[x]];
            }
        } else {
            for (int x = 0; x < n; ++x) {
                Rgb p = unpack<S>(s, cols[x]);
                pack<D>(d, c.clip.left + x, p.r, p.g, p.b);
            }
        }
    }
}

// Weighted sum of XRGB pixels whose weights add up to 256. Red and blue share one 32-bit word (a byte
// of headroom above each), green has its own, so a tap costs two multiplies for all three colours.
struct Blend {
    uint32_t rb = 0;
    uint32_t g = 0;
    void add(uint32_t p, uint32_t w)
    {
        rb += (p & 0xFF00FF) * w;
        g += (p & 0xFF00) * w;
    }
    uint32_t result() const { return (((rb + 0x800080) >> 8) & 0xFF00FF) | (((g + 0x8000) >> 8) & 0xFF00); }
};

template<int Taps> void averageAcross(const Axis& cols, const uint32_t* src, int n, uint32_t* out)
{
    const int taps = Taps > 0 ? Taps : cols.taps;
    const int* index = cols.index.data();
    const uint32_t* weight = cols.weight.data();
    for (int x = 0; x < n; ++x, index += taps, weight += taps) {
        if (weight[0] == weightOne) {
            out[x] = src[index[0]];
            continue;
        }
        Blend sum;
        for (int t = 0; t < taps; ++t)
            sum.add(src[index[t]], weight[t]);
        out[x] = sum.result();
    }
}

// Separable area averaging: each source row is averaged across once into a small ring of rows (enough
// for the rows one destination row reads), and the destination rows are averaged down from the ring.
template<PixelFormat S, PixelFormat D> void copyAveraged(const ScaledCopy& c)
{
    const Axis cols = areaAxis(c.srcX, c.srcW, c.dstW, c.mirrorX, c.clip.left - c.dstX, c.clip.right - c.dstX,
        c.src->width);
    const Axis rows = areaAxis(c.srcY, c.srcH, c.dstH, c.mirrorY, c.clip.top - c.dstY, c.clip.bottom - c.dstY,
        c.src->height);
    const int n = c.clip.right - c.clip.left;
    const int ringSize = rows.taps + 1;
    std::vector<uint32_t> ring(static_cast<size_t>(ringSize) * n);
    std::vector<int> ringRow(ringSize, -1);
    std::vector<uint32_t> converted(S == PixelFormat::XRGB8888 ? 0 : c.src->width);
    std::vector<uint32_t> out(n);

    auto across = [&](int srcRow) -> const uint32_t* {
        const int slot = srcRow % ringSize;
        uint32_t* line = ring.data() + static_cast<size_t>(slot) * n;
        if (ringRow[slot] == srcRow)
            return line;
        ringRow[slot] = srcRow;
        const uint8_t* row = c.src->row(srcRow);
        const uint32_t* src;
        if constexpr (S == PixelFormat::XRGB8888) {
            src = reinterpret_cast<const uint32_t*>(row);
        } else {
            const auto* from = reinterpret_cast<const uint16_t*>(row);
            for (int x = 0; x < c.src->width; ++x) {
                const uint32_t v = from[x];
                const uint32_t r = (v >> 11) << 3, g = ((v >> 5) & 0x3F) << 2, b = (v & 0x1F) << 3;
                converted[x] = ((r | (r >> 5)) << 16) | ((g | (g >> 6)) << 8) | (b | (b >> 5));
            }
            src = converted.data();
        }
        if (cols.taps == 2)
            averageAcross<2>(cols, src, n, line);
        else
            averageAcross<0>(cols, src, n, line);
        return line;
    };

    std::vector<const uint32_t*> lines(rows.taps);
    for (int y = c.clip.top; y < c.clip.bottom; ++y) {
        const size_t base = static_cast<size_t>(y - c.clip.top) * rows.taps;
        const uint32_t* result;
        if (rows.weight[base] == weightOne) {
            result = across(rows.index[base]);
        } else {
            int used = 0;
            for (int t = 0; t < rows.taps; ++t)
                if (rows.weight[base + t])
                    lines[used++] = across(rows.index[base + t]);
            for (int x = 0; x < n; ++x) {
                Blend sum;
                for (int t = 0, k = 0; t < rows.taps; ++t)
                    if (rows.weight[base + t])
                        sum.add(lines[k++][x], rows.weight[base + t]);
                out[x] = sum.result();
            }
            result = out.data();
        }
        uint8_t* d = c.dst->row(y);
        if constexpr (D == PixelFormat::XRGB8888) {
            std::memcpy(d + c.clip.left * 4, result, static_cast<size_t>(n) * 4);
        } else {
            auto* to = reinterpret_cast<uint16_t*>(d) + c.clip.left;
            for (int x = 0; x < n; ++x) {
                const uint32_t p = result[x];
                to[x] = static_cast<uint16_t>(((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F));
            }
        }
    }
}

template<PixelFormat S> void dispatch(const ScaledCopy& c, bool average)
{
    if (c.dst->format == PixelFormat::XRGB8888)
        average ? copyAveraged<S, PixelFormat::XRGB8888>(c) : copyNearest<S, PixelFormat::XRGB8888>(c);
    else
        average ? copyAveraged<S, PixelFormat::RGB565>(c) : copyNearest<S, PixelFormat::RGB565>(c);
}

// Normalises negative extents into mirroring, clips the destination to its surface and copies.
bool scaledCopy(PixelView dst, long dx, long dy, long dw, long dh, ConstPixelView src, long sx, long sy, long sw,
    long sh, bool mirrorY, bool average)
{
    for (long v : { dx, dy, dw, dh, sx, sy, sw, sh })
        if (!saneExtent(v))
            return false;
    if (sw == 0 || sh == 0 || src.width == 0 || src.height == 0)
        return false;
    bool mirrorX = false;
    auto normalise = [](long& start, long& length, bool& mirror) {
        if (length < 0) {
            start += length;
            length = -length;
            mirror = !mirror;
        }
    };
    normalise(dx, dw, mirrorX);
    normalise(sx, sw, mirrorX);
    normalise(dy, dh, mirrorY);
    normalise(sy, sh, mirrorY);
    ScaledCopy c { &dst, &src,
        clipToSurface({ static_cast<LONG>(dx), static_cast<LONG>(dy), static_cast<LONG>(dx + dw), static_cast<LONG>(dy + dh) }, dst),
        static_cast<int>(dx), static_cast<int>(dy), static_cast<int>(dw), static_cast<int>(dh), static_cast<int>(sx),
        static_cast<int>(sy), static_cast<int>(sw), static_cast<int>(sh), mirrorX, mirrorY };
    if (isEmpty(c.clip))
        return true;
    if (src.format == PixelFormat::XRGB8888)
        dispatch<PixelFormat::XRGB8888>(c, average);
    else
        dispatch<PixelFormat::RGB565>(c, average);
    return true;
}

}

void bltScaled(PixelView destination, const RECT& destinationRect, ConstPixelView source, const RECT& sourceRect,
    Mirror mirror)
{
    const long dw = static_cast<long>(destinationRect.right) - destinationRect.left;
    const long dh = static_cast<long>(destinationRect.bottom) - destinationRect.top;
    const long sw = static_cast<long>(sourceRect.right) - sourceRect.left;
    const long sh = static_cast<long>(sourceRect.bottom) - sourceRect.top;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return;
    scaledCopy(destination, destinationRect.left, destinationRect.top, dw, dh, source, sourceRect.left,
        sourceRect.top, sw, sh, mirror == Mirror::UpDown, false);
}

void stretchAveraged(PixelView destination, const RECT& destinationRect, ConstPixelView source, const RECT& sourceRect)
{
    scaledCopy(destination, destinationRect.left, destinationRect.top, destinationRect.right - destinationRect.left,
        destinationRect.bottom - destinationRect.top, source, sourceRect.left, sourceRect.top,
        sourceRect.right - sourceRect.left, sourceRect.bottom - sourceRect.top, false, true);
}

}

BOOL StretchBlt(HDC destination, int xDest, int yDest, int widthDest, int heightDest, HDC source, int xSrc,
    int ySrc, int widthSrc, int heightSrc, DWORD rop)
{
    if (!destination || !source || rop != SRCCOPY)
        return FALSE;
    if (widthDest == 0 || heightDest == 0)
        return TRUE;
    return platform::scaledCopy(destination->surface, xDest, yDest, widthDest, heightDest, source->surface, xSrc,
               ySrc, widthSrc, heightSrc, false, destination->stretchMode == HALFTONE)
        ? TRUE
        : FALSE;
}
