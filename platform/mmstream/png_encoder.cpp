#include "platform/mmstream/png_encoder.h"

#include "platform/mmstream/ffmpeg_support.h"
#include "platform/mmstream/picture_converter.h"

namespace platform {

namespace {

// XRGB8888 lies in memory as blue, green, red, unused on this little-endian machine.
AVPixelFormat avFormatOf(PixelFormat format)
{
    return format == PixelFormat::RGB565 ? AV_PIX_FMT_RGB565 : AV_PIX_FMT_0RGB32;
}

}

bool encodePng(const Surface& picture, std::vector<uint8_t>& png)
{
    png.clear();
    if (picture.width <= 0 || picture.height <= 0)
        return false;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (!codec)
        return false;
    CodecContextHandle context(avcodec_alloc_context3(codec));
    FrameHandle frame(av_frame_alloc());
    PacketHandle packet(av_packet_alloc());
    if (!context || !frame || !packet)
        return false;
    context->width = picture.width;
    context->height = picture.height;
    context->pix_fmt = AV_PIX_FMT_RGB24;
    context->time_base = AVRational {1, 25};
    // zlib's fastest levels give nearly the same size on film pictures in a fraction of the time.
    context->compression_level = 3;
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return false;

    frame->width = picture.width;
    frame->height = picture.height;
    frame->format = AV_PIX_FMT_RGB24;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return false;
    ScalerHandle scaler(sws_getContext(picture.width, picture.height, avFormatOf(picture.format), picture.width,
        picture.height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr));
    if (!scaler)
        return false;
    const uint8_t* source[4] = {picture.data(), nullptr, nullptr, nullptr};
    const int sourcePitch[4] = {picture.pitch, 0, 0, 0};
    if (sws_scale(scaler.get(), source, sourcePitch, 0, picture.height, frame->data, frame->linesize) != picture.height)
        return false;

    if (avcodec_send_frame(context.get(), frame.get()) < 0 || avcodec_send_frame(context.get(), nullptr) < 0)
        return false;
    if (avcodec_receive_packet(context.get(), packet.get()) < 0)
        return false;
    png.assign(packet->data, packet->data + packet->size);
    return true;
}

}
