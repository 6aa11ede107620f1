#include "display/picture_caption_view.h"

#include "app/settings.h"

#include <algorithm>
#include <cmath>

namespace sublumen {

namespace {

// The settings at which a picture caption is shown where and as large as it was authored.
constexpr int32_t authoredFontsize = Settings {}.fontsize;
constexpr int32_t authoredFontposy = Settings {}.fontposy;

}

PictureCaptionView pictureCaptionView(const FrameLayout& layout, int32_t canvasWidth, int32_t canvasHeight,
    PictureCaptions shown)
{
    const VideoPlacement& p = layout.video;
    PictureCaptionView view;
    view.screenWidth = layout.width;
    view.screenHeight = layout.height;
    int32_t mw = layout.pictureWidth;
    int32_t mh = layout.pictureHeight;
    if (mw <= 0 || mh <= 0) {
        mw = std::max(p.srcWidth, 1);
        mh = std::max(p.srcHeight, 1);
    }
    const double cw = canvasWidth > 0 ? canvasWidth : mw;
    const double ch = canvasHeight > 0 ? canvasHeight : mh;
    // Canvas to picture, then the part of the picture shown (the source) to where it is shown.
    const double toScreenX = p.srcWidth > 0 ? static_cast<double>(p.dstWidth) / p.srcWidth : 1.0;
    const double toScreenY = p.srcHeight > 0 ? static_cast<double>(p.dstHeight) / p.srcHeight : 1.0;
    view.scaleX = mw / cw * toScreenX;
    view.scaleY = mh / ch * toScreenY;
    view.offsetX = p.dstX - p.srcX * toScreenX;
    view.offsetY = p.dstY - p.srcY * toScreenY;
    // The placement already carries the layout's scale; the keys' size and raise are measured against the
    // defaults at that scale, the size against the default the screen's texts are drawn for.
    const double scale = layout.scale > 0 ? layout.scale : 1.0;
    const double textScale = layout.textScale > 0 ? layout.textScale : 1.0;
    view.captionScale = static_cast<double>(std::max(layout.fontsize, 1)) / (authoredFontsize * scale * textScale);
    const int32_t authoredRaise = static_cast<int32_t>(std::lround(authoredFontposy * scale));
    view.raise = std::clamp(layout.fontposy - authoredRaise, -std::max(layout.height, 0), std::max(layout.height, 0));
    view.forcedOnly = shown == PictureCaptions::ForcedOnly;
    view.unreadOnly = shown == PictureCaptions::Unread;
    return view;
}

void drawPictureCaption(platform::PixelView target, const FrameLayout& layout, PictureCaption& track,
    uint32_t captionTime, PictureCaptions shown)
{
    const platform::CaptionPicture* picture = track.shownAt(captionTime);
    if (!picture)
        return;
    track.draw(captionTime, target, pictureCaptionView(layout, picture->canvasWidth, picture->canvasHeight, shown));
}

}
