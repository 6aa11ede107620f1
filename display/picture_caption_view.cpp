#include "display/picture_caption_view.h"

#include "app/system.h"
#include "display/display.h"
#include "display/frame_composition.h"
#include "media/media_stream.h"
#include "platform/ddraw/ddraw.h"

#include <algorithm>

namespace sublumen {

namespace {

// The settings at which a picture caption is shown where and as large as it was authored.
constexpr int32_t authoredFontsize = Settings {}.fontsize;
constexpr int32_t authoredFontposy = Settings {}.fontposy;

}

PictureCaptionView pictureCaptionView(const System& sys, int32_t canvasWidth, int32_t canvasHeight)
{
    const Settings& s = sys.settings;
    const VideoPlacement& p = sys.videoPlacement;
    PictureCaptionView view;
    view.screenWidth = s.screenx;
    view.screenHeight = s.screeny;
    int32_t mw = 0;
    int32_t mh = 0;
    if (const MediaStream* stream = sys.movie.currentStream.get()) {
        mw = stream->videoRect.right - stream->videoRect.left;
        mh = stream->videoRect.bottom - stream->videoRect.top;
    }
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
    view.captionScale = static_cast<double>(std::max(s.fontsize, 1)) / authoredFontsize;
    view.raise = std::clamp(s.fontposy - authoredFontposy, -std::max(s.screeny, 0), std::max(s.screeny, 0));
    view.forcedOnly = s.iscaption == 0;
    return view;
}

void drawPictureCaption(System& sys)
{
    PictureCaption* track = sys.movie.pictureCaption.get();
    DisplaySurface* back = sys.displays.backSurface();
    if (!track || !back || !back->surface || !movieShown(sys))
        return;
    const uint32_t ct
        = captionTime(sys.movie.currentStream->currentTime(), sys.movie.currentItem.timeshift, sys.movie.captionRate);
    const platform::CaptionPicture* shown = track->shownAt(ct);
    if (!shown)
        return;
    platform::PixelView* pixels = back->surface->pixels();
    if (!pixels)
        return;
    track->draw(ct, *pixels, pictureCaptionView(sys, shown->canvasWidth, shown->canvasHeight));
}

}
