#include "platform/mmstream/picture_converter.h"

#include "platform/kernel.h"

#include <cstdint>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace platform {

namespace {

int colorSpaceOf(const AVFrame& frame)
{
    switch (frame.colorspace) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_FCC:
        return SWS_CS_FCC;
    case AVCOL_SPC_BT470BG:
        return SWS_CS_ITU601;
    case AVCOL_SPC_SMPTE170M:
        return SWS_CS_SMPTE170M;
    case AVCOL_SPC_SMPTE240M:
        return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return SWS_CS_BT2020;
    default:
        // Untagged pictures follow the usual convention: high definition is BT.709.
        return frame.height >= 720 || frame.width >= 1280 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

}

bool FfmpegPicture::convertInto(PixelView target, int x, int y, int width, int height)
{
    bool whole = x == 0 && y == 0 && width == target.width && height == target.height;
    if (!whole) {
        // Elsewhere only where the result is the sample's own pixels, row by row: no scaling, and
        // rows that start where the converter's vector stores expect them.
        const uintptr_t start = reinterpret_cast<uintptr_t>(target.data()) + static_cast<uintptr_t>(y) * target.pitch
            + static_cast<uintptr_t>(x) * (target.bitsPerPixel() / 8);
        if (x < 0 || y < 0 || width > target.width - x || height > target.height - y || frame_->width != width
            || frame_->height != height || start % 16 != 0 || target.pitch % 16 != 0)
            return false;
    }
    return converter_->convert(*frame_, target, x, y, width, height);
}

bool PictureConverter::convert(const AVFrame& frame, PixelView target, int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0 || frame.width <= 0 || frame.height <= 0 || x < 0 || y < 0
        || width > target.width - x || height > target.height - y)
        return false;
    AVPixelFormat dstFormat = target.format == PixelFormat::RGB565 ? AV_PIX_FMT_RGB565 : AV_PIX_FMT_0RGB32;
    std::array<int, 6> key {frame.width, frame.height, frame.format, width, height, dstFormat};
    // The context is kept while the key stays, and made anew only when it changes: the library's own
    // cache makes a new one for the same sizes when setting up changed its flags (for 32-bit output it
    // always does), and a new context starts with the BT.601 defaults, whatever this picture's matrix.
    if (key != key_ || !scaler_) {
        scaler_.reset(sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), width, height,
            dstFormat, SWS_BILINEAR, nullptr, nullptr, nullptr));
        key_ = key;
        colorSpace_ = -1;
        range_ = -1;
    }
    SwsContext* scaler = scaler_.get();
    if (!scaler) {
        if (!loggedError_)
            platformLog("mmstream: pictures in format %d cannot be converted\n", frame.format);
        loggedError_ = true;
        return false;
    }
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    bool yuv = desc && !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3;
    if (yuv) {
        int space = colorSpaceOf(frame);
        bool jpegFormat = frame.format == AV_PIX_FMT_YUVJ420P || frame.format == AV_PIX_FMT_YUVJ422P
            || frame.format == AV_PIX_FMT_YUVJ444P;
        int range = (frame.color_range == AVCOL_RANGE_JPEG || jpegFormat) ? 1 : 0;
        if (space != colorSpace_ || range != range_) {
            sws_setColorspaceDetails(scaler, sws_getCoefficients(space), range, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                0, 1 << 16, 1 << 16);
            colorSpace_ = space;
            range_ = range;
        }
    }
    uint8_t* dst[4] = {target.data() + static_cast<std::size_t>(y) * target.pitch
            + static_cast<std::size_t>(x) * (target.bitsPerPixel() / 8),
        nullptr, nullptr, nullptr};
    int dstStride[4] = {target.pitch, 0, 0, 0};
    sws_scale(scaler, frame.data, frame.linesize, 0, frame.height, dst, dstStride);
    return true;
}

}
