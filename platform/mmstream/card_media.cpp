#include "platform/mmstream/card_media.h"

#include "platform/mmstream/ffmpeg_support.h"
#include "platform/mmstream/picture_converter.h"

extern "C" {
#include <libavutil/audio_fifo.h>
}

#include <algorithm>

namespace platform {

namespace {

struct ResamplerDeleter {
    void operator()(SwrContext* c) const { swr_free(&c); }
};
using ResamplerHandle = std::unique_ptr<SwrContext, ResamplerDeleter>;
struct FifoDeleter {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
using FifoHandle = std::unique_ptr<AVAudioFifo, FifoDeleter>;
// An output context writing into memory: the buffer is closed and freed with it.
struct OutputDeleter {
    void operator()(AVFormatContext* c) const
    {
        if (c->pb) {
            uint8_t* bytes = nullptr;
            avio_close_dyn_buf(c->pb, &bytes);
            av_free(bytes);
        }
        avformat_free_context(c);
    }
};
using OutputHandle = std::unique_ptr<AVFormatContext, OutputDeleter>;

FormatContextHandle openMovie(const std::string& path, std::string& reason)
{
    AVFormatContext* raw = nullptr;
    int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (rc < 0) {
        reason = "cannot open the movie: " + errorText(rc);
        return nullptr;
    }
    FormatContextHandle format(raw);
    if ((rc = avformat_find_stream_info(format.get(), nullptr)) < 0) {
        reason = "cannot read the movie's streams: " + errorText(rc);
        return nullptr;
    }
    return format;
}

CodecContextHandle openDecoder(const AVStream* stream, std::string& reason)
{
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    CodecContextHandle context(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!context || avcodec_parameters_to_context(context.get(), stream->codecpar) < 0) {
        reason = "no decoder";
        return nullptr;
    }
    context->pkt_timebase = stream->time_base;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        reason = "the decoder does not open";
        return nullptr;
    }
    return context;
}

// Only the stream wanted is read; the others' packets are dropped by the demuxer.
void readOnly(AVFormatContext* format, int index)
{
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
}

void seekBefore(AVFormatContext* format, int index, uint32_t milliseconds)
{
    const AVStream* stream = format->streams[index];
    int64_t target = av_rescale_q(milliseconds, AVRational { 1, 1000 }, stream->time_base);
    if (stream->start_time != AV_NOPTS_VALUE)
        target += stream->start_time;
    av_seek_frame(format, index, target, AVSEEK_FLAG_BACKWARD);
}

// Milliseconds of movie time of a time stamp of stream (its start counted as 0).
int64_t movieMilliseconds(const AVStream* stream, int64_t ts)
{
    if (stream->start_time != AV_NOPTS_VALUE)
        ts -= stream->start_time;
    return av_rescale_q(ts, stream->time_base, AVRational { 1, 1000 });
}

// The encoder the clip is made with, and the container that carries it.
struct ClipFormat {
    const AVCodec* codec = nullptr;
    const char* muxer = nullptr;
    const char* suffix = nullptr;
};

ClipFormat clipFormat()
{
    if (const AVCodec* mp3 = avcodec_find_encoder(AV_CODEC_ID_MP3))
        return { mp3, "mp3", ".mp3" };
    if (const AVCodec* opus = avcodec_find_encoder_by_name("libopus"))
        return { opus, "ogg", ".opus" };
    return {};
}

int clipRate(const AVCodec* codec, int sourceRate)
{
    const int* rates = codec->supported_samplerates;
    if (!rates)
        return sourceRate > 0 ? sourceRate : 48000;
    for (const int* r = rates; *r; ++r)
        if (*r == sourceRate)
            return sourceRate;
    for (const int* r = rates; *r; ++r)
        if (*r == 48000 || *r == 44100)
            return *r;
    return rates[0];
}

// Cuts, converts and encodes one stretch of sound into a file in memory.
class ClipMaker {
public:
    bool open(const ClipFormat& format, const AVCodecContext& decoder, std::string& reason);
    // Adds count samples of frame from sample first on.
    bool add(const AVFrame& frame, int first, int count);
    // Encodes what is left and gives the file's bytes.
    bool finish(std::vector<uint8_t>& file);

private:
    bool encodeQueued(bool all);
    bool writePackets();

    CodecContextHandle encoder;
    OutputHandle output;
    ResamplerHandle resampler;
    FifoHandle fifo;
    FrameHandle frame { av_frame_alloc() };
    PacketHandle packet { av_packet_alloc() };
    int64_t samplesEncoded = 0;
    int bytesPerSample = 0;
    bool planar = false;
};

bool ClipMaker::open(const ClipFormat& format, const AVCodecContext& decoder, std::string& reason)
{
    encoder.reset(avcodec_alloc_context3(format.codec));
    if (!encoder || !frame || !packet) {
        reason = "out of memory";
        return false;
    }
    const int channels = std::clamp(decoder.ch_layout.nb_channels, 1, 2);
    av_channel_layout_default(&encoder->ch_layout, channels);
    encoder->sample_rate = clipRate(format.codec, decoder.sample_rate);
    encoder->sample_fmt = format.codec->sample_fmts ? format.codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    encoder->bit_rate = channels == 2 ? 128000 : 64000;
    encoder->time_base = AVRational { 1, encoder->sample_rate };

    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, format.muxer, nullptr) < 0 || !raw) {
        reason = std::string("no ") + format.muxer + " writer";
        return false;
    }
    output.reset(raw);
    if (output->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(encoder.get(), format.codec, nullptr);
    if (rc < 0) {
        reason = "the sound encoder does not open: " + errorText(rc);
        return false;
    }
    AVStream* stream = avformat_new_stream(output.get(), nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, encoder.get()) < 0
        || avio_open_dyn_buf(&output->pb) < 0) {
        reason = "out of memory";
        return false;
    }
    stream->time_base = encoder->time_base;
    if ((rc = avformat_write_header(output.get(), nullptr)) < 0) {
        reason = "the sound file's header: " + errorText(rc);
        return false;
    }

    AVChannelLayout sourceLayout {};
    if (decoder.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&decoder.ch_layout) == 0)
        av_channel_layout_default(&sourceLayout, decoder.ch_layout.nb_channels);
    else
        av_channel_layout_copy(&sourceLayout, &decoder.ch_layout);
    SwrContext* swr = nullptr;
    rc = swr_alloc_set_opts2(&swr, &encoder->ch_layout, encoder->sample_fmt, encoder->sample_rate, &sourceLayout,
        decoder.sample_fmt, decoder.sample_rate, 0, nullptr);
    av_channel_layout_uninit(&sourceLayout);
    resampler.reset(swr);
    if (rc < 0 || !resampler || swr_init(resampler.get()) < 0) {
        reason = "the sound cannot be converted";
        return false;
    }
    fifo.reset(av_audio_fifo_alloc(encoder->sample_fmt, channels, std::max(encoder->frame_size, 1024)));
    if (!fifo) {
        reason = "out of memory";
        return false;
    }
    bytesPerSample = av_get_bytes_per_sample(decoder.sample_fmt);
    planar = av_sample_fmt_is_planar(decoder.sample_fmt);
    return true;
}

bool ClipMaker::add(const AVFrame& source, int first, int count)
{
    const uint8_t* in[AV_NUM_DATA_POINTERS] = {};
    const int channels = source.ch_layout.nb_channels;
    const size_t skip = static_cast<size_t>(first) * bytesPerSample * (planar ? 1 : channels);
    for (int i = 0; i < (planar ? channels : 1) && i < AV_NUM_DATA_POINTERS; ++i)
        in[i] = source.extended_data[i] + skip;
    const int room = swr_get_out_samples(resampler.get(), count);
    uint8_t** converted = nullptr;
    if (room < 0 || av_samples_alloc_array_and_samples(&converted, nullptr, encoder->ch_layout.nb_channels, room,
            encoder->sample_fmt, 0) < 0)
        return false;
    const int made = swr_convert(resampler.get(), converted, room, in, count);
    const bool queued = made >= 0 && av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(converted), made) == made;
    av_freep(&converted[0]);
    av_freep(&converted);
    return queued && encodeQueued(false);
}

bool ClipMaker::encodeQueued(bool all)
{
    const int frameSize = encoder->frame_size > 0 ? encoder->frame_size : 1024;
    while (av_audio_fifo_size(fifo.get()) >= frameSize || (all && av_audio_fifo_size(fifo.get()) > 0)) {
        const int available = av_audio_fifo_size(fifo.get());
        // A short last frame is padded with silence where the encoder wants whole frames.
        const bool whole = !(encoder->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
        const int taken = std::min(available, frameSize);
        av_frame_unref(frame.get());
        frame->nb_samples = whole ? frameSize : taken;
        frame->format = encoder->sample_fmt;
        frame->sample_rate = encoder->sample_rate;
        if (av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout) < 0 || av_frame_get_buffer(frame.get(), 0) < 0)
            return false;
        av_samples_set_silence(frame->extended_data, 0, frame->nb_samples, encoder->ch_layout.nb_channels,
            encoder->sample_fmt);
        if (av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(frame->extended_data), taken) != taken)
            return false;
        frame->pts = samplesEncoded;
        samplesEncoded += frame->nb_samples;
        if (avcodec_send_frame(encoder.get(), frame.get()) < 0 || !writePackets())
            return false;
    }
    return true;
}

bool ClipMaker::writePackets()
{
    for (;;) {
        const int rc = avcodec_receive_packet(encoder.get(), packet.get());
        const AvStatus status = avStatus(rc);
        if (status == AvStatus::NeedsInput || status == AvStatus::End)
            return true;
        if (status == AvStatus::Error)
            return false;
        packet->stream_index = 0;
        av_packet_rescale_ts(packet.get(), encoder->time_base, output->streams[0]->time_base);
        if (av_interleaved_write_frame(output.get(), packet.get()) < 0)
            return false;
    }
}

bool ClipMaker::finish(std::vector<uint8_t>& file)
{
    // What the resampler still holds, then every queued sample, then what the encoder holds.
    const int room = swr_get_out_samples(resampler.get(), 0);
    if (room > 0) {
        uint8_t** rest = nullptr;
        if (av_samples_alloc_array_and_samples(&rest, nullptr, encoder->ch_layout.nb_channels, room,
                encoder->sample_fmt, 0) < 0)
            return false;
        const int made = swr_convert(resampler.get(), rest, room, nullptr, 0);
        if (made > 0)
            av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(rest), made);
        av_freep(&rest[0]);
        av_freep(&rest);
    }
    if (!encodeQueued(true) || avcodec_send_frame(encoder.get(), nullptr) < 0 || !writePackets())
        return false;
    if (av_write_trailer(output.get()) < 0)
        return false;
    uint8_t* bytes = nullptr;
    const int size = avio_close_dyn_buf(output->pb, &bytes);
    output->pb = nullptr;
    if (size > 0)
        file.assign(bytes, bytes + size);
    av_free(bytes);
    return size > 0;
}

}

SoundClipOutcome cutSoundClip(const std::string& path, int streamNumber, uint32_t start, uint32_t end, SoundClip& clip)
{
    routeLibraryLog();
    clip = {};
    FormatContextHandle format = openMovie(path, clip.reason);
    if (!format)
        return SoundClipOutcome::Failed;
    int index = streamNumber;
    if (index < 0 || index >= static_cast<int>(format->nb_streams)
        || format->streams[index]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
        index = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) {
        clip.reason = "the movie has no sound";
        return SoundClipOutcome::NoSound;
    }
    const AVStream* stream = format->streams[index];
    CodecContextHandle decoder = openDecoder(stream, clip.reason);
    const ClipFormat kind = clipFormat();
    if (!decoder)
        return SoundClipOutcome::Failed;
    if (!kind.codec) {
        clip.reason = "no MP3 or Opus encoder";
        return SoundClipOutcome::Failed;
    }
    ClipMaker maker;
    if (!maker.open(kind, *decoder, clip.reason))
        return SoundClipOutcome::Failed;
    readOnly(format.get(), index);
    seekBefore(format.get(), index, start);

    const int rate = decoder->sample_rate;
    const int64_t first = static_cast<int64_t>(start) * rate / 1000;
    const int64_t last = static_cast<int64_t>(end) * rate / 1000;
    PacketHandle packet(av_packet_alloc());
    FrameHandle frame(av_frame_alloc());
    if (!packet || !frame || rate <= 0) {
        clip.reason = "out of memory";
        return SoundClipOutcome::Failed;
    }
    // Where the next frame starts, in samples of movie time, for frames that carry no time stamp.
    int64_t position = -1;
    bool done = false;
    bool reading = true;
    while (!done) {
        if (reading) {
            const int rc = av_read_frame(format.get(), packet.get());
            if (rc < 0) {
                reading = false;
                avcodec_send_packet(decoder.get(), nullptr);
            } else {
                if (packet->stream_index == index)
                    avcodec_send_packet(decoder.get(), packet.get());
                av_packet_unref(packet.get());
            }
        }
        for (;;) {
            const AvStatus status = avStatus(avcodec_receive_frame(decoder.get(), frame.get()));
            if (status == AvStatus::NeedsInput)
                break;
            if (status != AvStatus::Ok) {
                done = !reading || status == AvStatus::End;
                break;
            }
            const int64_t ts = frame->best_effort_timestamp;
            if (ts != AV_NOPTS_VALUE)
                position = av_rescale_q(ts - (stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0),
                    stream->time_base, AVRational { 1, rate });
            if (position < 0)
                position = first;
            const int64_t from = std::max(position, first);
            const int64_t to = std::min(position + frame->nb_samples, last);
            if (to > from && !maker.add(*frame, static_cast<int>(from - position), static_cast<int>(to - from))) {
                clip.reason = "the sound cannot be encoded";
                return SoundClipOutcome::Failed;
            }
            position += frame->nb_samples;
            av_frame_unref(frame.get());
            if (position >= last)
                done = true;
        }
    }
    if (!maker.finish(clip.file)) {
        clip.reason = "the sound cannot be encoded";
        return SoundClipOutcome::Failed;
    }
    clip.suffix = kind.suffix;
    return SoundClipOutcome::Made;
}

bool grabMoviePicture(const std::string& path, uint32_t time, Surface& picture, std::string& reason)
{
    routeLibraryLog();
    FormatContextHandle format = openMovie(path, reason);
    if (!format)
        return false;
    // A cover picture is not the movie's picture.
    auto isPicture = [&](int i) {
        const AVStream* s = format->streams[i];
        return s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC);
    };
    int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index >= 0 && !isPicture(index))
        index = -1;
    for (int i = 0; index < 0 && i < static_cast<int>(format->nb_streams); ++i)
        if (isPicture(i))
            index = i;
    if (index < 0) {
        reason = "the movie has no picture";
        return false;
    }
    const AVStream* stream = format->streams[index];
    CodecContextHandle decoder = openDecoder(stream, reason);
    if (!decoder)
        return false;
    readOnly(format.get(), index);
    seekBefore(format.get(), index, time);

    PacketHandle packet(av_packet_alloc());
    FrameHandle frame(av_frame_alloc());
    FrameHandle kept(av_frame_alloc());
    if (!packet || !frame || !kept) {
        reason = "out of memory";
        return false;
    }
    // The last picture that starts at or before time, or the first after it when none does.
    bool have = false;
    bool reading = true;
    bool done = false;
    while (!done) {
        if (reading) {
            if (av_read_frame(format.get(), packet.get()) < 0) {
                reading = false;
                avcodec_send_packet(decoder.get(), nullptr);
            } else {
                if (packet->stream_index == index)
                    avcodec_send_packet(decoder.get(), packet.get());
                av_packet_unref(packet.get());
            }
        }
        for (;;) {
            const AvStatus status = avStatus(avcodec_receive_frame(decoder.get(), frame.get()));
            if (status == AvStatus::NeedsInput)
                break;
            if (status != AvStatus::Ok) {
                done = !reading || status == AvStatus::End;
                break;
            }
            const int64_t ts = frame->best_effort_timestamp;
            const bool late = ts != AV_NOPTS_VALUE && movieMilliseconds(stream, ts) > static_cast<int64_t>(time);
            if (late && have) {
                done = true;
                break;
            }
            av_frame_unref(kept.get());
            av_frame_move_ref(kept.get(), frame.get());
            have = true;
            if (late) {
                done = true;
                break;
            }
        }
    }
    if (!have || kept->width <= 0 || kept->height <= 0) {
        reason = "no picture decoded there";
        return false;
    }
    picture = Surface(kept->width, kept->height, PixelFormat::XRGB8888);
    PictureConverter converter;
    if (!converter.convert(*kept, picture.view(), 0, 0, picture.width, picture.height)) {
        reason = "the picture cannot be converted";
        return false;
    }
    return true;
}

}
