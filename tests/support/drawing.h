// Pixel inspection for drawing tests: surfaces filled in code, boxes around the pixels that match.
#pragma once

#include "platform/gdi/gdi.h"
#include "platform/surface.h"

#include <algorithm>
#include <climits>
#include <string>

namespace testing_support {

// A box around matching pixels, right and bottom exclusive; empty when nothing matched.
struct PixelBox {
    int left = INT_MAX;
    int top = INT_MAX;
    int right = INT_MIN;
    int bottom = INT_MIN;

    bool empty() const { return right <= left; }
    int width() const { return empty() ? 0 : right - left; }
    int height() const { return empty() ? 0 : bottom - top; }
    PixelBox shifted(int dx, int dy) const { return { left + dx, top + dy, right + dx, bottom + dy }; }
    bool operator==(const PixelBox&) const = default;
};

inline std::string describe(const PixelBox& b)
{
    return b.empty() ? "(empty)"
                     : "(" + std::to_string(b.left) + "," + std::to_string(b.top) + ")-(" + std::to_string(b.right)
            + "," + std::to_string(b.bottom) + ")";
}

// The box around pixels in [x0, x1) x [y0, y1) for which match(r, g, b) holds.
template<typename Match>
PixelBox boxWhere(platform::ConstPixelView s, Match match, int x0 = 0, int y0 = 0, int x1 = INT_MAX, int y1 = INT_MAX)
{
    PixelBox box;
    for (int y = std::max(0, y0); y < std::min(s.height, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(s.width, x1); ++x) {
            int r, g, b;
            platform::readRgb(s, x, y, r, g, b);
            if (match(r, g, b)) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
        }
    return box;
}

// On a mid-grey background: pixels made brighter (white text) or darker (black text) by drawing.
constexpr int backgroundGrey = 128;
inline bool brighter(int r, int g, int b) { return r > backgroundGrey + 8 && g > backgroundGrey + 8 && b > backgroundGrey + 8; }
inline bool darker(int r, int g, int b) { return r < backgroundGrey - 8 && g < backgroundGrey - 8 && b < backgroundGrey - 8; }

inline void fillSurface(platform::PixelView s, int r, int g, int b)
{
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            platform::writePixel(s, x, y, platform::packPixel(s.format, r, g, b));
}

// The Korean caption face the player uses, or null when the machine has no Korean font for it (the
// caller skips then).
inline HFONT koreanFont(int height, int weight = FW_EXTRABOLD, const char* face = "굴림체")
{
    return platform::createFont(height, weight, face);
}

}
