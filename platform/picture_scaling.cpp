#include "platform/picture_scaling.h"

#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

namespace {

// Blends two XRGB pixels, b weighing w out of 256. Red and blue share one word with a byte of headroom
// each, green (with the unused byte) another, so the three colours cost two multiply pairs.
inline uint32_t blend(uint32_t a, uint32_t b, uint32_t w)
{
    const uint32_t v = 256 - w;
    const uint32_t rb = (((a & 0xFF00FF) * v + (b & 0xFF00FF) * w) >> 8) & 0xFF00FF;
    const uint32_t g = (((a >> 8) & 0xFF00FF) * v + ((b >> 8) & 0xFF00FF) * w) & 0xFF00FF00;
    return rb | g;
}

inline uint32_t widen565(uint16_t p)
{
    const uint32_t r = (p >> 11) & 0x1F, g = (p >> 5) & 0x3F, b = p & 0x1F;
    return (((r << 3) | (r >> 2)) << 16) | (((g << 2) | (g >> 4)) << 8) | ((b << 3) | (b >> 2));
}

inline uint16_t narrow565(uint32_t p)
{
    return static_cast<uint16_t>(((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F));
}

// One output row between two widened rows: out = upper + (lower - upper) * w / 256, per colour byte.
void blendRows(const uint32_t* upper, const uint32_t* lower, uint32_t w, uint32_t* out, int n)
{
    int x = 0;
#if defined(__SSE2__)
    // Eight colour bytes per 16-bit lane group; the difference times a 7-bit weight stays within 16 bits.
    const __m128i weight = _mm_set1_epi16(static_cast<short>(w >> 1));
    const __m128i zero = _mm_setzero_si128();
    for (; x + 4 <= n; x += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + x));
        const __m128i aLow = _mm_unpacklo_epi8(a, zero), aHigh = _mm_unpackhi_epi8(a, zero);
        const __m128i dLow = _mm_sub_epi16(_mm_unpacklo_epi8(b, zero), aLow);
        const __m128i dHigh = _mm_sub_epi16(_mm_unpackhi_epi8(b, zero), aHigh);
        const __m128i low = _mm_add_epi16(aLow, _mm_srai_epi16(_mm_mullo_epi16(dLow, weight), 7));
        const __m128i high = _mm_add_epi16(aHigh, _mm_srai_epi16(_mm_mullo_epi16(dHigh, weight), 7));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(low, high));
    }
#endif
    for (; x < n; ++x)
        out[x] = blend(upper[x], lower[x], w);
}

}

void PictureScaler::prepare(const RECT& sourceRect, int width, int height)
{
    // Output pixel i samples the source at its own centre, (i + 0.5) * srcLen / dstLen - 0.5, in 16.16.
    auto axis = [](std::vector<Tap>& taps, int srcLen, int dstLen) {
        taps.resize(static_cast<size_t>(dstLen));
        for (int i = 0; i < dstLen; ++i) {
            long long at = ((2LL * i + 1) * srcLen << 16) / (2LL * dstLen) - 32768;
            at = std::max(at, 0LL);
            Tap tap { static_cast<int>(at >> 16), 0, static_cast<uint32_t>((at >> 8) & 0xFF) };
            if (tap.first >= srcLen - 1) {
                tap.first = srcLen - 1;
                tap.weight = 0;
            }
            tap.second = std::min(tap.first + 1, srcLen - 1);
            taps[static_cast<size_t>(i)] = tap;
        }
    };
    axis(columns_, sourceRect.right - sourceRect.left, width);
    axis(rows_, sourceRect.bottom - sourceRect.top, height);
    columnWeights_.resize(static_cast<size_t>(width) * 4);
    for (size_t i = 0; i < columns_.size(); ++i)
        std::fill_n(columnWeights_.begin() + static_cast<std::ptrdiff_t>(i * 4), 4,
            static_cast<uint16_t>(columns_[i].weight >> 1));
    for (auto& row : spread_)
        row.assign(static_cast<size_t>(width), 0);
    preparedSource_ = sourceRect;
    preparedWidth_ = width;
    preparedHeight_ = height;
}

void PictureScaler::spreadRow(ConstPixelView source, int y, uint32_t* out)
{
    const int n = preparedSource_.right - preparedSource_.left;
    const uint32_t* pixels;
    if (source.format == PixelFormat::XRGB8888) {
        pixels = reinterpret_cast<const uint32_t*>(source.row(y)) + preparedSource_.left;
    } else {
        unpacked_.resize(static_cast<size_t>(n));
        const auto* row = reinterpret_cast<const uint16_t*>(source.row(y)) + preparedSource_.left;
        for (int x = 0; x < n; ++x)
            unpacked_[static_cast<size_t>(x)] = widen565(row[x]);
        pixels = unpacked_.data();
    }
    const Tap* tap = columns_.data();
    int x = 0;
#if defined(__SSE2__)
    // Four output pixels at a time: their two source pixels gathered, then the row blend's arithmetic
    // with each pixel's own 7-bit weight in its four lanes.
    const __m128i zero = _mm_setzero_si128();
    const auto* weights = reinterpret_cast<const __m128i*>(columnWeights_.data());
    for (; x + 4 <= preparedWidth_; x += 4, tap += 4, weights += 2) {
        const __m128i a = _mm_set_epi32(static_cast<int>(pixels[tap[3].first]), static_cast<int>(pixels[tap[2].first]),
            static_cast<int>(pixels[tap[1].first]), static_cast<int>(pixels[tap[0].first]));
        const __m128i b = _mm_set_epi32(static_cast<int>(pixels[tap[3].second]),
            static_cast<int>(pixels[tap[2].second]), static_cast<int>(pixels[tap[1].second]),
            static_cast<int>(pixels[tap[0].second]));
        const __m128i aLow = _mm_unpacklo_epi8(a, zero), aHigh = _mm_unpackhi_epi8(a, zero);
        const __m128i dLow = _mm_sub_epi16(_mm_unpacklo_epi8(b, zero), aLow);
        const __m128i dHigh = _mm_sub_epi16(_mm_unpackhi_epi8(b, zero), aHigh);
        const __m128i low = _mm_add_epi16(aLow, _mm_srai_epi16(_mm_mullo_epi16(dLow, _mm_loadu_si128(weights)), 7));
        const __m128i high
            = _mm_add_epi16(aHigh, _mm_srai_epi16(_mm_mullo_epi16(dHigh, _mm_loadu_si128(weights + 1)), 7));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(low, high));
    }
#endif
    for (; x < preparedWidth_; ++x, ++tap)
        out[x] = blend(pixels[tap->first], pixels[tap->second], tap->weight);
}

void PictureScaler::scale(ConstPixelView source, const RECT& sourceRect, PixelView target)
{
    const int srcW = sourceRect.right - sourceRect.left, srcH = sourceRect.bottom - sourceRect.top;
    if (srcW <= 0 || srcH <= 0 || target.width <= 0 || target.height <= 0 || !target.bytes)
        return;
    if (sourceRect.left < 0 || sourceRect.top < 0 || sourceRect.right > source.width
        || sourceRect.bottom > source.height)
        return;
    const int bytes = bitsPerPixelOf(target.format) / 8;
    if (target.width < srcW || target.height < srcH) {
        // Shrinking averages what each screen pixel covers, as StretchBlt's halftone mode does.
        if (shrunk_.width != target.width || shrunk_.height != target.height || shrunk_.format != target.format)
            shrunk_ = Surface(target.width, target.height, target.format);
        stretchAveraged(shrunk_, RECT { 0, 0, target.width, target.height }, source, sourceRect);
        for (int y = 0; y < target.height; ++y)
            std::memcpy(target.row(y), shrunk_.row(y),
                static_cast<size_t>(target.width) * bytes);
        return;
    }
    if (std::memcmp(&preparedSource_, &sourceRect, sizeof sourceRect) != 0 || preparedWidth_ != target.width
        || preparedHeight_ != target.height)
        prepare(sourceRect, target.width, target.height);
    // Each source row is widened once per frame; the two rows an output row needs differ in parity.
    spreadRow_[0] = spreadRow_[1] = -1;
    auto widened = [&](int row) {
        const int slot = row & 1;
        if (spreadRow_[slot] != row) {
            spreadRow(source, sourceRect.top + row, spread_[slot].data());
            spreadRow_[slot] = row;
        }
        return spread_[slot].data();
    };
    const int n = target.width;
    for (int y = 0; y < target.height; ++y) {
        const Tap& tap = rows_[static_cast<size_t>(y)];
        const uint32_t* upper = widened(tap.first);
        const uint32_t* lower = widened(tap.second);
        const uint32_t w = tap.weight;
        uint8_t* out = target.row(y);
        if (target.format == PixelFormat::XRGB8888) {
            auto* dst = reinterpret_cast<uint32_t*>(out);
            if (w == 0)
                std::memcpy(dst, upper, static_cast<size_t>(n) * 4);
            else
                blendRows(upper, lower, w, dst, n);
        } else {
            auto* dst = reinterpret_cast<uint16_t*>(out);
            for (int x = 0; x < n; ++x)
                dst[x] = narrow565(blend(upper[x], lower[x], w));
        }
    }
}

}
