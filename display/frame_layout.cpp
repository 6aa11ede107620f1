#include "display/frame_layout.h"

#include "display/display_modes.h"

#include <algorithm>
#include <cmath>

namespace sublumen {

namespace {

int32_t scaled(int32_t value, double factor)
{
    return static_cast<int32_t>(std::lround(value * factor));
}

}

int32_t FrameLayout::px(int32_t screenPixels) const
{
    return scaled(screenPixels, scale);
}

int32_t FrameLayout::textPx(int32_t screenPixels) const
{
    return scaled(screenPixels, scale * textScale);
}

double desktopTextScale(int32_t width, int32_t height)
{
    for (const Resolution& mode : digitResolutions)
        if (mode.width == width && mode.height == height)
            return 1.0;
    return std::max(1.0, height / 480.0);
}

FrameLayout scaledLayout(const FrameLayout& layout, double factor)
{
    // A factor that is no number or not above zero would draw nothing sensible; the layout stays as it is.
    if (!(factor > 0) || !std::isfinite(factor))
        return layout;
    FrameLayout s = layout;
    s.width = scaled(layout.width, factor);
    s.height = scaled(layout.height, factor);
    s.fontposy = scaled(layout.fontposy, factor);
    s.fontsize = scaled(layout.fontsize, factor);
    s.video.dstX = scaled(layout.video.dstX, factor);
    s.video.dstY = scaled(layout.video.dstY, factor);
    s.video.dstWidth = scaled(layout.video.dstWidth, factor);
    s.video.dstHeight = scaled(layout.video.dstHeight, factor);
    s.scale = layout.scale * factor;
    return s;
}

}
