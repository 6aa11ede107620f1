#include "platform/mmstream/subtitle_file.h"

#include "platform/mmstream/ffmpeg_support.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace platform {

namespace {

// The bytes the memory reader hands out.
struct MemoryInput {
    std::string_view bytes;
    size_t position = 0;
};

int readMemory(void* opaque, uint8_t* buffer, int size)
{
    auto* input = static_cast<MemoryInput*>(opaque);
    size_t left = input->bytes.size() - input->position;
    if (left == 0)
        return AVERROR_EOF;
    size_t n = std::min(left, static_cast<size_t>(std::max(size, 0)));
    std::memcpy(buffer, input->bytes.data() + input->position, n);
    input->position += n;
    return static_cast<int>(n);
}

int64_t seekMemory(void* opaque, int64_t offset, int whence)
{
    auto* input = static_cast<MemoryInput*>(opaque);
    auto size = static_cast<int64_t>(input->bytes.size());
    int64_t base = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return size;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        base = static_cast<int64_t>(input->position);
        break;
    case SEEK_END:
        base = size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    int64_t target = base + offset;
    if (target < 0 || target > size)
        return AVERROR(EINVAL);
    input->position = static_cast<size_t>(target);
    return target;
}

struct IoContextDeleter {
    // The buffer may have been replaced by the library; the context's own pointer is the one to free.
    void operator()(AVIOContext* c) const
    {
        av_freep(&c->buffer);
        avio_context_free(&c);
    }
};
using IoContextHandle = std::unique_ptr<AVIOContext, IoContextDeleter>;

struct SubtitleDeleter {
    void operator()(AVSubtitle* s) const { avsubtitle_free(s); }
};

const char* demuxerName(SubtitleFormat format)
{
    switch (format) {
    case SubtitleFormat::SubRip:
        return "srt";
    case SubtitleFormat::WebVtt:
        return "webvtt";
    case SubtitleFormat::Ass:
        return "ass";
    }
    return "srt";
}

constexpr AVRational milliseconds {1, 1000};

}

SubtitleText readSubtitleText(std::string_view utf8, SubtitleFormat format)
{
    routeLibraryLog();
    SubtitleText out;
    MemoryInput input {utf8};
    constexpr int bufferSize = 65536;
    auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
    if (!buffer) {
        out.failure = "no memory";
        return out;
    }
    IoContextHandle io(avio_alloc_context(buffer, bufferSize, 0, &input, &readMemory, nullptr, &seekMemory));
    if (!io) {
        av_free(buffer);
        out.failure = "no memory";
        return out;
    }
    // Declared after io so that it is closed first: the format context reads through io.
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) {
        out.failure = "no memory";
        return out;
    }
    raw->pb = io.get();
    int rc = avformat_open_input(&raw, nullptr, av_find_input_format(demuxerName(format)), nullptr);
    if (rc < 0) {
        // avformat_open_input frees the context on failure.
        out.failure = errorText(rc);
        return out;
    }
    FormatContextHandle formatContext(raw);
    if (formatContext->nb_streams == 0) {
        out.failure = "no caption stream";
        return out;
    }
    AVStream* stream = formatContext->streams[0];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    CodecContextHandle decoder(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0) {
        out.failure = "no decoder";
        return out;
    }
    decoder->pkt_timebase = stream->time_base;
    rc = avcodec_open2(decoder.get(), codec, nullptr);
    if (rc < 0) {
        out.failure = errorText(rc);
        return out;
    }
    out.opened = true;

    PacketHandle packet(av_packet_alloc());
    if (!packet)
        return out;
    while (av_read_frame(formatContext.get(), packet.get()) >= 0) {
        std::unique_ptr<AVPacket, void (*)(AVPacket*)> unref(packet.get(), av_packet_unref);
        if (packet->stream_index != 0)
            continue;
        if (packet->pts == AV_NOPTS_VALUE) {
            ++out.undecodedPackets;
            continue;
        }
        AVSubtitle subtitle {};
        int got = 0;
        if (avcodec_decode_subtitle2(decoder.get(), &subtitle, &got, packet.get()) < 0) {
            ++out.undecodedPackets;
            continue;
        }
        if (!got)
            continue;
        std::unique_ptr<AVSubtitle, SubtitleDeleter> owned(&subtitle);
        int64_t start = av_rescale_q(packet->pts, stream->time_base, milliseconds);
        int64_t end = start + av_rescale_q(packet->duration, stream->time_base, milliseconds);
        for (unsigned i = 0; i < subtitle.num_rects; ++i) {
            const AVSubtitleRect* rect = subtitle.rects[i];
            if (rect->type == SUBTITLE_ASS && rect->ass)
                out.rects.push_back({start, end, rect->ass, true});
            else if (rect->type == SUBTITLE_TEXT && rect->text)
                out.rects.push_back({start, end, rect->text, false});
            else
                ++out.pictureRects;
        }
    }
    return out;
}

}
