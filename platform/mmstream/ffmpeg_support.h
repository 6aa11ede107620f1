// What every part of the FFmpeg engine shares: the library's headers, owning handles for its objects,
// the conversion of its time stamps, and the one reading of what its reading and decoding calls answer.
#pragma once

#include "platform/mmstream/media_backend.h"

#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace platform {

struct FormatContextDeleter {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using FormatContextHandle = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using CodecContextHandle = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FrameHandle = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketHandle = std::unique_ptr<AVPacket, PacketDeleter>;

constexpr AVRational mediaTimeBase {1, 10'000'000};

// A time stamp or duration counted in base.
inline MediaTime toMediaTime(int64_t ts, AVRational base)
{
    return MediaTime(av_rescale_q(ts, base, mediaTimeBase));
}

// What a reading or decoding call of the library answered.
enum class AvStatus {
    Ok,
    // AVERROR(EAGAIN): not now. A decoder gives no frame until it has more packets, and takes no
    // packet until its frames have been taken.
    NeedsInput,
    End,  // AVERROR_EOF: the input is over and everything it held has come out
    Error,
};

inline AvStatus avStatus(int code)
{
    if (code >= 0)
        return AvStatus::Ok;
    if (code == AVERROR(EAGAIN))
        return AvStatus::NeedsInput;
    if (code == AVERROR_EOF)
        return AvStatus::End;
    return AvStatus::Error;
}

// The library's text for an error code.
std::string errorText(int code);

// Sends the library's own diagnostics, errors only, to the platform log; once per process.
void routeLibraryLog();

// While it lives, the library's error lines on this thread are kept in lines (without their prefix and
// line break) instead of the log: the caller names in its own line what they were about.
class LibraryLogCapture {
public:
    explicit LibraryLogCapture(std::vector<std::string>& lines);
    ~LibraryLogCapture();
    LibraryLogCapture(const LibraryLogCapture&) = delete;
    LibraryLogCapture& operator=(const LibraryLogCapture&) = delete;

private:
    std::vector<std::string>* previous_;
};

}
