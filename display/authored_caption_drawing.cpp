#include "display/authored_caption_drawing.h"

#include <cmath>

namespace sublumen {

platform::PictureFrame shownPictureFrame(const VideoPlacement& p, int width, int height)
{
    if (p.srcWidth <= 0 || p.srcHeight <= 0 || p.dstWidth <= 0 || p.dstHeight <= 0 || width <= 0 || height <= 0)
        return {};
    const double sx = static_cast<double>(p.dstWidth) / p.srcWidth;
    const double sy = static_cast<double>(p.dstHeight) / p.srcHeight;
    platform::PictureFrame frame;
    frame.left = static_cast<int>(std::lround(p.dstX - p.srcX * sx));
    frame.top = static_cast<int>(std::lround(p.dstY - p.srcY * sy));
    frame.width = static_cast<int>(std::lround(width * sx));
    frame.height = static_cast<int>(std::lround(height * sy));
    frame.pictureWidth = width;
    frame.pictureHeight = height;
    return frame;
}

void drawAuthoredCaptions(platform::PixelView target, const FrameLayout& layout, platform::AuthoredCaptions& captions,
    uint32_t captionTime)
{
    captions.blend(target, shownPictureFrame(layout.video, layout.pictureWidth, layout.pictureHeight), captionTime);
}

}
