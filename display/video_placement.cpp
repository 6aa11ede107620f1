#include "display/video_placement.h"

#include "app/system.h"
#include "media/media_stream.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace sublumen {

const char* const fitModeNames[4] = {"LetterBox", "LetterBox2", "PanScan", "Full"};

namespace {

// Truncation toward zero, held inside the 32-bit range so that absurd screen sizes cannot overflow.
int32_t truncated(double value)
{
    if (!(value > -2147483648.0))
        return INT32_MIN;
    if (!(value < 2147483647.0))
        return INT32_MAX;
    return static_cast<int32_t>(std::trunc(value));
}

void placeFull(VideoPlacement& p, int32_t W, int32_t H, int32_t mw, int32_t mh)
{
    p.srcX = 0;
    p.srcY = 0;
    p.srcWidth = mw > 0 ? mw : 0;
    p.srcHeight = mh > 0 ? mh : 0;
    p.dstX = 0;
    p.dstY = 0;
    p.dstWidth = W;
    p.dstHeight = H;
}

}

void computeVideoPlacement(System& sys)
{
    VideoPlacement& p = sys.videoPlacement;
    const int32_t W = sys.settings.screenx;
    const int32_t H = sys.settings.screeny;
    MediaStream* stream = sys.movie.currentStream.get();
    if (!stream) {
        p.dstX = 0;
        p.dstY = 0;
        p.dstWidth = W;
        p.dstHeight = H;
        return;
    }

    const int32_t mw = stream->videoRect.right - stream->videoRect.left;
    const int32_t mh = stream->videoRect.bottom - stream->videoRect.top;
    // Without a picture size there is no aspect ratio to keep: the whole picture fills the screen.
    if (sys.settings.fitmode == FitMode::Full || mw <= 0 || mh <= 0) {
        placeFull(p, W, H, mw, mh);
        return;
    }

    const double r = static_cast<double>(mw) / mh;
    if (sys.settings.fitmode == FitMode::LetterBox2) {
        p.dstWidth = W + (truncated(H * r) - W) / 2;
        p.dstHeight = truncated(p.dstWidth / r);
    } else if (sys.settings.fitmode == FitMode::PanScan) {
        p.dstHeight = H;
        p.dstWidth = truncated(H * r);
    } else {
        p.dstWidth = W;
        p.dstHeight = truncated(W / r);
    }

    // A screen too small for any picture leaves no scale to work with.
    if (p.dstWidth <= 0 || p.dstHeight <= 0) {
        placeFull(p, W, H, mw, mh);
        return;
    }

    p.dstX = (W - p.dstWidth - p.dstWidth % 2) / 2;
    p.dstY = (H - p.dstHeight - p.dstHeight % 2) / 2;
    const double k = 1 / (static_cast<double>(p.dstWidth) / mw);

    if (p.dstX < 0) {
        p.dstWidth = p.dstWidth + 2 * p.dstX;
        p.dstX = 0;
    }
    if (p.dstY < 0) {
        p.dstHeight = p.dstHeight + 2 * p.dstY;
        p.dstY = 0;
    }

    // The horizontal scale applied to the height can overshoot the picture by a row or two when the
    // destination's width was truncated; a source rectangle outside the picture would make every blit fail.
    p.srcWidth = std::min(truncated(p.dstWidth * k), mw);
    p.srcHeight = std::min(truncated(p.dstHeight * k), mh);
    p.srcX = (mw - p.srcWidth) / 2;
    p.srcY = (mh - p.srcHeight) / 2;
}

}
