#include "display/authored_caption_drawing.h"

#include "app/system.h"
#include "caption/caption.h"
#include "display/display.h"
#include "display/frame_composition.h"
#include "display/video_placement.h"
#include "media/caption_look.h"
#include "media/media_stream.h"
#include "platform/ddraw/ddraw.h"

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

void drawAuthoredCaptions(System& sys)
{
    if (sys.settings.iscaption == 0 || !authoredCaptionsShown(sys) || !sys.movie.currentStream)
        return;
    DisplaySurface* back = sys.displays.backSurface();
    platform::PixelView* screen = back && back->surface ? back->surface->pixels() : nullptr;
    if (!screen)
        return;
    MediaStream& stream = *sys.movie.currentStream;
    const RECT& picture = stream.videoRect;
    const platform::PictureFrame frame
        = shownPictureFrame(sys.videoPlacement, picture.right - picture.left, picture.bottom - picture.top);
    const uint32_t time = captionTime(stream.currentTime(), sys.movie.currentItem.timeshift, sys.movie.captionRate);
    sys.movie.currentCaption->authored->blend(*screen, frame, time);
}

}
