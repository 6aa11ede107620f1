#include "platform/caption_text_preparation.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace platform {

namespace {

// Below this opacity a pixel counts as the clear background.
constexpr float clearBelow = 0.25f;
// Two groups of colours whose brightness differs less than this are one shade.
constexpr float oneShade = 0.2f;
// A line of fill lower than this many pixels is a speck, not letters.
constexpr int lowestLine = 4;
constexpr size_t mostLines = 16;
// The most a line may become for the reader, in either direction.
constexpr int widestLine = 8000;
constexpr int tallestLine = 4000;

float opacity(uint32_t colour) { return static_cast<float>(colour >> 24) / 255.f; }

float brightness(uint32_t colour)
{
    return (0.299f * static_cast<float>((colour >> 16) & 0xFF) + 0.587f * static_cast<float>((colour >> 8) & 0xFF)
               + 0.114f * static_cast<float>(colour & 0xFF))
        / 255.f;
}

// The palette index of every pixel, width × height; pixels past the runs, and indices beyond the palette,
// are the clear index just past the palette.
std::vector<uint16_t> indicesOf(const CaptionBitmap& bitmap)
{
    const size_t total = static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height);
    std::vector<uint16_t> out(total, static_cast<uint16_t>(bitmap.palette.size()));
    size_t at = 0;
    for (size_t i = 0; i + 1 < bitmap.runs.size() && at < total; i += 2) {
        const size_t n = std::min<size_t>(bitmap.runs[i], total - at);
        const uint16_t index = static_cast<uint16_t>(std::min<size_t>(bitmap.runs[i + 1], bitmap.palette.size()));
        std::fill_n(out.begin() + static_cast<ptrdiff_t>(at), n, index);
        at += n;
    }
    return out;
}

// A group of colours: how many pixels it has, how many of them touch the clear background, its
// brightness weighted by pixels, and the brightness of its commonest colour (the letters' own, the
// outline's own, where the others are the edges between them).
struct Group {
    double pixels = 0;
    double touching = 0;
    double brightness = 0;
    double commonest = 0;
    double commonestPixels = 0;
    double touchShare() const { return pixels > 0 ? touching / pixels : 0; }
    double meanBrightness() const { return pixels > 0 ? brightness / pixels : 0; }
};

std::vector<float> fillOfIndices(const CaptionBitmap& bitmap, const std::vector<uint16_t>& indices)
{
    const size_t colours = bitmap.palette.size();
    std::vector<float> fill(colours + 1, 0.f);
    if (colours == 0)
        return fill;
    auto colourOf = [&](uint16_t index) { return index < colours ? bitmap.palette[index] : 0u; };
    std::vector<bool> clear(colours + 1, true);
    for (size_t i = 0; i < colours; ++i)
        clear[i] = opacity(bitmap.palette[i]) < clearBelow;

    // Per colour: its pixels, and those with a clear pixel (or the bitmap's edge) beside them.
    std::vector<double> pixels(colours + 1, 0);
    std::vector<double> touching(colours + 1, 0);
    const int w = bitmap.width;
    const int h = bitmap.height;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint16_t c = indices[static_cast<size_t>(y) * w + x];
            if (clear[c])
                continue;
            pixels[c] += 1;
            auto clearAt = [&](int nx, int ny) {
                return nx < 0 || ny < 0 || nx >= w || ny >= h || clear[indices[static_cast<size_t>(ny) * w + nx]];
            };
            if (clearAt(x - 1, y) || clearAt(x + 1, y) || clearAt(x, y - 1) || clearAt(x, y + 1))
                touching[c] += 1;
        }

    // The visible colours in order of brightness; the split between light and dark is where the two
    // groups lie farthest apart for their sizes (Otsu's rule over the colours).
    std::vector<size_t> visible;
    for (size_t i = 0; i < colours; ++i)
        if (pixels[i] > 0)
            visible.push_back(i);
    if (visible.empty())
        return fill;
    std::sort(visible.begin(), visible.end(),
        [&](size_t a, size_t b) { return brightness(bitmap.palette[a]) < brightness(bitmap.palette[b]); });
    const double total = std::accumulate(visible.begin(), visible.end(), 0.0, [&](double s, size_t i) { return s + pixels[i]; });
    const double sum = std::accumulate(visible.begin(), visible.end(), 0.0,
        [&](double s, size_t i) { return s + pixels[i] * brightness(bitmap.palette[i]); });
    size_t split = 0; // the first colour of the light group
    double best = -1;
    double darkPixels = 0;
    double darkSum = 0;
    for (size_t k = 1; k < visible.size(); ++k) {
        darkPixels += pixels[visible[k - 1]];
        darkSum += pixels[visible[k - 1]] * brightness(bitmap.palette[visible[k - 1]]);
        const double lightPixels = total - darkPixels;
        const double gap = darkSum / darkPixels - (sum - darkSum) / lightPixels;
        const double between = darkPixels * lightPixels * gap * gap;
        if (between > best) {
            best = between;
            split = k;
        }
    }
    Group dark, light;
    for (size_t k = 0; k < visible.size(); ++k) {
        const size_t i = visible[k];
        Group& g = split > 0 && k < split ? dark : light;
        g.pixels += pixels[i];
        g.touching += touching[i];
        g.brightness += pixels[i] * brightness(bitmap.palette[i]);
        if (pixels[i] > g.commonestPixels) {
            g.commonestPixels = pixels[i];
            g.commonest = brightness(bitmap.palette[i]);
        }
    }
    if (split == 0 || light.meanBrightness() - dark.meanBrightness() < oneShade) {
        for (size_t i = 0; i < colours; ++i)
            fill[i] = opacity(bitmap.palette[i]);
        return fill;
    }
    // Letters on a box of their own touch nothing clear, nor does the box's inside: then the letters are
    // the smaller group.
    bool lightIsFill;
    if (std::abs(light.touchShare() - dark.touchShare()) > 0.02)
        lightIsFill = light.touchShare() < dark.touchShare();
    else
        lightIsFill = light.pixels < dark.pixels;
    const double fillBrightness = lightIsFill ? light.commonest : dark.commonest;
    const double otherBrightness = lightIsFill ? dark.commonest : light.commonest;
    for (size_t i = 0; i < colours; ++i) {
        const double t = (brightness(colourOf(static_cast<uint16_t>(i))) - otherBrightness) / (fillBrightness - otherBrightness);
        fill[i] = opacity(bitmap.palette[i]) * static_cast<float>(std::clamp(t, 0.0, 1.0));
    }
    return fill;
}

// The taps of resampling a row of n pixels to m: bilinear when enlarging, the covered pixels weighted
// by how much of each is covered when shrinking.
struct Tap {
    int index;
    float weight;
};
std::vector<std::vector<Tap>> tapsOf(int n, int m)
{
    std::vector<std::vector<Tap>> out(static_cast<size_t>(m));
    const double ratio = static_cast<double>(n) / m;
    for (int i = 0; i < m; ++i) {
        std::vector<Tap>& t = out[static_cast<size_t>(i)];
        if (ratio <= 1) {
            const double at = std::clamp((i + 0.5) * ratio - 0.5, 0.0, static_cast<double>(n - 1));
            const int first = static_cast<int>(at);
            const double frac = at - first;
            t.push_back({ first, static_cast<float>(1 - frac) });
            if (frac > 0 && first + 1 < n)
                t.push_back({ first + 1, static_cast<float>(frac) });
        } else {
            const double from = i * ratio;
            const double to = std::min((i + 1) * ratio, static_cast<double>(n));
            for (int k = static_cast<int>(from); k < to; ++k) {
                const double cover = std::min(to, k + 1.0) - std::max(from, static_cast<double>(k));
                if (cover > 0)
                    t.push_back({ k, static_cast<float>(cover / ratio) });
            }
        }
    }
    return out;
}

// The fill of one bitmap, 0 to 1 a pixel, width × height.
struct FillPlane {
    int width = 0;
    int height = 0;
    std::vector<float> ink;
    float at(int x, int y) const { return ink[static_cast<size_t>(y) * width + x]; }
};

// A line of a plane: rows [top, bottom), columns [left, right), and the height of the plane's lines.
struct TextLine {
    int top = 0;
    int bottom = 0;
    int left = 0;
    int right = 0;
    int lineHeight = 0;
};

// The plane's line, black on white, scaled by scale, with the border.
GreyPicture pictureOfLine(const FillPlane& plane, const TextLine& line, double scale)
{
    const int w = line.right - line.left;
    const int h = line.bottom - line.top;
    const int outW = std::max(1, static_cast<int>(std::lround(w * scale)));
    const int outH = std::max(1, static_cast<int>(std::lround(h * scale)));
    const auto across = tapsOf(w, outW);
    const auto down = tapsOf(h, outH);
    std::vector<float> rows(static_cast<size_t>(outW) * h, 0.f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < outW; ++x) {
            float v = 0;
            for (const Tap& t : across[static_cast<size_t>(x)])
                v += plane.at(line.left + t.index, line.top + y) * t.weight;
            rows[static_cast<size_t>(y) * outW + x] = v;
        }
    GreyPicture out;
    out.width = outW + 2 * readerBorder;
    out.height = outH + 2 * readerBorder;
    out.pixels.assign(static_cast<size_t>(out.width) * out.height, 255);
    for (int y = 0; y < outH; ++y)
        for (int x = 0; x < outW; ++x) {
            float v = 0;
            for (const Tap& t : down[static_cast<size_t>(y)])
                v += rows[static_cast<size_t>(t.index) * outW + x] * t.weight;
            out.pixels[static_cast<size_t>(y + readerBorder) * out.width + x + readerBorder]
                = static_cast<uint8_t>(std::lround(255.f * (1.f - std::clamp(v, 0.f, 1.f))));
        }
    return out;
}

// The lines of a plane, top to bottom.
std::vector<TextLine> textLinesOf(const FillPlane& plane)
{
    // Rows and columns with ink, counting a pixel that is at least half fill.
    std::vector<int> rowInk(static_cast<size_t>(plane.height), 0);
    for (int y = 0; y < plane.height; ++y)
        for (int x = 0; x < plane.width; ++x)
            rowInk[static_cast<size_t>(y)] += plane.at(x, y) >= 0.5f;
    struct Run {
        int top, bottom;
    };
    std::vector<Run> runs;
    for (int y = 0; y < plane.height; ++y) {
        if (!rowInk[static_cast<size_t>(y)])
            continue;
        if (!runs.empty() && runs.back().bottom == y)
            runs.back().bottom = y + 1;
        else
            runs.push_back({ y, y + 1 });
    }
    if (runs.empty())
        return {};
    // The parts of one line of letters (the bar under a Hangul syllable, the dot of an i) lie closer
    // together than an eighth of the tallest line; lines lie farther apart.
    int tallest = 0;
    for (const Run& r : runs)
        tallest = std::max(tallest, r.bottom - r.top);
    std::vector<Run> lines;
    for (const Run& r : runs) {
        if (!lines.empty() && r.top - lines.back().bottom <= std::max(1, tallest / 8))
            lines.back().bottom = r.bottom;
        else
            lines.push_back(r);
    }
    tallest = 0;
    for (const Run& r : lines)
        tallest = std::max(tallest, r.bottom - r.top);
    std::erase_if(lines, [&](const Run& r) { return r.bottom - r.top < std::max(lowestLine, tallest / 3); });
    if (lines.empty())
        return {};
    std::vector<int> heights;
    for (const Run& r : lines)
        heights.push_back(r.bottom - r.top);
    std::nth_element(heights.begin(), heights.begin() + static_cast<ptrdiff_t>(heights.size() / 2), heights.end());
    const int lineHeight = heights[heights.size() / 2];

    // Each line is read on its own: the reader's own finding of lines in a block now and then reads a
    // word twice, once on each of two lines.
    std::vector<TextLine> found;
    for (const Run& r : lines)
        found.push_back({ r.top, r.bottom, 0, 0, lineHeight });
    // Each line keeps the columns its rows have ink in, and a little of the ink around its rows, so that
    // a letter's faint edge is not cut.
    for (TextLine& b : found) {
        const int margin = std::max(1, lineHeight / 8);
        b.top = std::max(0, b.top - margin);
        b.bottom = std::min(plane.height, b.bottom + margin);
        int left = plane.width;
        int right = 0;
        for (int y = b.top; y < b.bottom; ++y)
            for (int x = 0; x < plane.width; ++x)
                if (plane.at(x, y) > 0.f) {
                    left = std::min(left, x);
                    right = std::max(right, x + 1);
                }
        b.left = left;
        b.right = std::max(right, left + 1);
    }
    return found;
}

}

std::vector<float> fillOfPalette(const CaptionBitmap& bitmap)
{
    std::vector<float> fill = fillOfIndices(bitmap, indicesOf(bitmap));
    fill.resize(bitmap.palette.size());
    return fill;
}

std::vector<GreyPicture> prepareForReading(const CaptionPicture& picture)
{
    struct Placed {
        int x, y;
        GreyPicture picture;
    };
    std::vector<Placed> placed;
    for (const CaptionBitmap& bitmap : picture.bitmaps) {
        if (bitmap.width <= 0 || bitmap.height <= 0
            || static_cast<int64_t>(bitmap.width) * bitmap.height > maxCaptionBitmapPixels)
            continue;
        const std::vector<uint16_t> indices = indicesOf(bitmap);
        const std::vector<float> fill = fillOfIndices(bitmap, indices);
        FillPlane plane;
        plane.width = bitmap.width;
        plane.height = bitmap.height;
        plane.ink.resize(indices.size());
        for (size_t i = 0; i < indices.size(); ++i)
            plane.ink[i] = fill[indices[i]];
        for (const TextLine& line : textLinesOf(plane)) {
            if (placed.size() >= mostLines)
                break;
            double scale = static_cast<double>(readerLineHeight) / line.lineHeight;
            scale = std::min({ scale, static_cast<double>(widestLine) / (line.right - line.left),
                static_cast<double>(tallestLine) / (line.bottom - line.top) });
            placed.push_back({ bitmap.x + line.left, bitmap.y + line.top, pictureOfLine(plane, line, scale) });
        }
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
    std::vector<GreyPicture> out;
    for (Placed& p : placed)
        out.push_back(std::move(p.picture));
    return out;
}

}
