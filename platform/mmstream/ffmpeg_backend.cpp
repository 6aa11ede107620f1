// The multimedia engine on FFmpeg. Three worker threads (demuxer, video decoder, audio decoder) fill
// bounded queues; the audio device's callback drains the sound and drives the clock; the caller's
// thread takes decoded pictures when they are due and converts them with libswscale.
//
// All shared state is guarded by one mutex. Nothing slow (reading, decoding, converting) runs under it,
// and AudioOutput is never called while it is held, because the audio callback takes it too.

#include "platform/mmstream/media_backend.h"

#include "platform/frame_trace.h"
#include "platform/kernel.h"
#include "platform/mmstream/audio_output.h"
#include "platform/mmstream/sample_target.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/cpu.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

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
struct ResamplerDeleter {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct ScalerDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using FormatContextHandle = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using CodecContextHandle = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FrameHandle = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketHandle = std::unique_ptr<AVPacket, PacketDeleter>;
using ResamplerHandle = std::unique_ptr<SwrContext, ResamplerDeleter>;
using ScalerHandle = std::unique_ptr<SwsContext, ScalerDeleter>;

constexpr AVRational mediaTimeBase {1, 10'000'000};
// Packets waiting for the decoders: beyond this the demuxer waits whatever the interleaving.
constexpr std::size_t maxQueuedPacketBytes = 32u << 20;
// A queue holding more packets than this has enough; the demuxer reads on only for a starving one.
constexpr std::size_t enoughVideoPackets = 30;
constexpr std::size_t enoughAudioPackets = 60;
// A decoder wakes the demuxer only once its queue is down to this, so that the demuxer reads in runs
// rather than one packet per packet taken.
constexpr std::size_t refillVideoPackets = enoughVideoPackets / 2;
constexpr std::size_t refillAudioPackets = enoughAudioPackets / 2;
constexpr MediaTime maxQueuedAudio = std::chrono::seconds(1);
// Below this the audio decoder is woken to top the sound up again; between the two it sleeps, so it
// decodes in bursts instead of waking for every buffer the device takes.
constexpr MediaTime audioRefillLevel = std::chrono::milliseconds(750);
// Decoded pictures kept ready, bounded by memory for large pictures.
constexpr std::size_t maxQueuedFrameBytes = 48u << 20;
// A decoder whose pictures come out this late skips the pictures nothing refers to until it has caught up.
constexpr MediaTime decoderLateLimit = std::chrono::milliseconds(150);
// The clock waits this long for the first sound after a start or a seek before it runs on silence.
constexpr MediaTime audioPrimingLimit = std::chrono::milliseconds(500);
// Small steps between the time stamps of consecutive sound chunks are rounding, not gaps.
constexpr MediaTime audioJitter = std::chrono::milliseconds(30);
// Pictures beyond these are not movies but damaged headers: each sample surface and queued picture of
// that size would take gigabytes. 8192x8192 leaves room for every real format.
constexpr int maxPictureSide = 16384;
constexpr int64_t maxPictureArea = int64_t {8192} * 8192;

// One decoder thread keeps up with about this many pixels a second on an ordinary core. Every further
// thread costs CPU in hand-overs and memory in the pictures it holds, so more are asked for only when
// the movie needs them, and never more than the machine has cores.
constexpr double pixelsPerDecoderThread = 40e6;

int decoderThreadsFor(const AVCodecParameters& parameters, AVRational rate)
{
    double framesPerSecond = rate.num > 0 && rate.den > 0 ? std::min(av_q2d(rate), 240.0) : 30.0;
    double pixelRate = static_cast<double>(std::max(parameters.width, 1)) * std::max(parameters.height, 1) * framesPerSecond;
    int wanted = static_cast<int>(std::ceil(pixelRate / pixelsPerDecoderThread));
    return std::clamp(wanted, 1, std::max(1, av_cpu_count()));
}

std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(code, text, sizeof text);
    return text;
}

// The clock of the stream: an anchor position at an anchor instant, running on from there while it
// ticks, never beyond its cap (the end of the sound handed to the device).
struct StreamClock {
    MediaTime anchorPos {0};
    SteadyClock::time_point anchorTime {};
    std::optional<MediaTime> cap;
    bool ticking = false;

    MediaTime at(SteadyClock::time_point now) const
    {
        if (!ticking)
            return anchorPos;
        MediaTime t = anchorPos + std::chrono::duration_cast<MediaTime>(now - anchorTime);
        return cap && t > *cap ? *cap : t;
    }
    void set(MediaTime pos, SteadyClock::time_point now, std::optional<MediaTime> limit = std::nullopt)
    {
        anchorPos = pos;
        anchorTime = now;
        cap = limit;
    }
    void hold(SteadyClock::time_point now)
    {
        anchorPos = at(now);
        cap.reset();
        ticking = false;
    }
};

// libswscale from decoded pictures into surfaces, its context kept while the sizes and formats stay.
class PictureConverter {
public:
    // Converts frame into the width × height rectangle of target at (x, y), scaled to that size.
    bool convert(const AVFrame& frame, Surface& target, int x, int y, int width, int height);

private:
    ScalerHandle scaler_;
    std::array<int, 6> key_ {};  // source size and format, output size and format
    int colorSpace_ = -1;
    int range_ = -1;
    bool loggedError_ = false;
};

// A delivered picture that is converted where it is shown: into its sample when the sample's pixels
// are needed, or straight into the surface it is copied to when that copy would change nothing.
class FfmpegPicture final : public PendingPicture {
public:
    FfmpegPicture(FrameHandle frame, std::shared_ptr<PictureConverter> converter)
        : frame_(std::move(frame))
        , converter_(std::move(converter))
    {
    }

    bool convertInto(Surface& target, int x, int y, int width, int height) override
    {
        bool whole = x == 0 && y == 0 && width == target.width && height == target.height;
        if (!whole) {
            // Elsewhere only where the result is the sample's own pixels, row by row: no scaling, and
            // rows that start where the converter's vector stores expect them.
            const uintptr_t start = reinterpret_cast<uintptr_t>(target.pixels.data()) + static_cast<uintptr_t>(y) * target.pitch
                + static_cast<uintptr_t>(x) * (target.bitsPerPixel() / 8);
            if (x < 0 || y < 0 || width > target.width - x || height > target.height - y || frame_->width != width
                || frame_->height != height || start % 16 != 0 || target.pitch % 16 != 0)
                return false;
        }
        return converter_->convert(*frame_, target, x, y, width, height);
    }

private:
    FrameHandle frame_;
    std::shared_ptr<PictureConverter> converter_;
};

struct QueuedPacket {
    PacketHandle packet;  // null marks the end of the input
    uint64_t generation = 0;
};

struct DecodedFrame {
    FrameHandle frame;
    MediaTime start {0};
    MediaTime end {0};
};

struct AudioChunk {
    MediaTime start {0};
    std::vector<int16_t> samples;  // interleaved, device channel count
    std::size_t offsetFrames = 0;   // frames already played or dropped
};

class FfmpegBackend final : public MediaBackend {
public:
    FfmpegBackend() = default;
    ~FfmpegBackend() override;

    OpenError open(const std::string& path, const OpenOptions& options);

    MediaProperties properties() const override { return properties_; }
    void run() override;
    void stop() override;
    bool running() const override;
    MediaTime time() const override;
    void seek(MediaTime target) override;
    FrameDelivery deliverFrame(Surface& target, std::chrono::milliseconds timeout) override;
    FrameDelivery deliverPicture(SampleTarget& target, std::chrono::milliseconds timeout) override;

private:
    MediaTime toMediaTime(int64_t ts, AVRational base) const;
    bool openVideo(int decoderThreads);
    bool openAudio();
    void startThreads();

    void demuxLoop();
    void videoLoop();
    void audioLoop();
    bool demuxerHasRoom() const;
    // Queues a decoded picture; true when it came out later than the decoder may fall behind.
    bool pushVideoFrame(DecodedFrame frame, uint64_t generation);
    void pushAudioChunk(AudioChunk chunk, uint64_t generation);
    void fillAudio(int16_t* samples, int frames, int rate, int channels);
    // Waits for the next due frame like deliverFrame; on Delivered, frame holds it unconverted.
    FrameDelivery takeFrame(std::chrono::milliseconds timeout, FrameHandle& frame);

    static int interruptCallback(void* self);

    // FFmpeg state. The format context is read only by the demuxer once the threads run; each codec
    // context only by its decoder thread; the converter only by the caller of deliverFrame and by the
    // pictures handed out, which are converted on that caller's thread.
    FormatContextHandle format_;
    CodecContextHandle videoCodec_;
    CodecContextHandle audioCodec_;
    std::shared_ptr<PictureConverter> converter_ = std::make_shared<PictureConverter>();
    int videoIndex_ = -1;
    int audioIndex_ = -1;
    MediaTime startOffset_ {0};
    bool untimed_ = false;
    MediaProperties properties_;
    int loggedVideoErrors_ = 0;
    int loggedAudioErrors_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable demuxWake_;
    std::condition_variable videoWake_;
    std::condition_variable audioWake_;
    std::condition_variable frameWake_;
    std::atomic<bool> quit_ {false};
    bool running_ = false;
    uint64_t generation_ = 0;  // bumped by every seek; older packets, frames and sound are dropped
    bool seekPending_ = false;
    MediaTime seekTarget_ {0};
    bool demuxEnded_ = false;
    std::deque<QueuedPacket> videoPackets_;
    std::deque<QueuedPacket> audioPackets_;
    std::size_t queuedPacketBytes_ = 0;
    std::deque<DecodedFrame> frames_;
    std::size_t maxFrames_ = 8;
    bool videoEnded_ = false;
    MediaTime lastFrameEnd_ {0};
    MediaTime lastDelivered_ {0};
    // A picture of the current position is in the caller's target: set by a delivery, cleared by a seek.
    bool positionShown_ = false;
    std::deque<AudioChunk> audioChunks_;
    MediaTime queuedAudio_ {0};
    bool audioEnded_ = false;
    // Sound position: audioBase_ plus audioFramesOut_ frames at the device rate.
    MediaTime audioBase_ {0};
    int64_t audioFramesOut_ = 0;
    bool audioPrimed_ = false;
    int64_t primingFrames_ = 0;
    StreamClock clock_;

    // The device's format, copied for the audio decoder so that it never touches audio_, which the
    // destructor takes down while the thread may still run.
    int audioRate_ = 0;
    int audioChannels_ = 0;
    std::unique_ptr<AudioOutput> audio_;
    std::thread demuxThread_;
    std::thread videoThread_;
    std::thread audioThread_;
};

FfmpegBackend::~FfmpegBackend()
{
    // The device goes first: its callback reads the queues below.
    audio_.reset();
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    demuxWake_.notify_all();
    videoWake_.notify_all();
    audioWake_.notify_all();
    frameWake_.notify_all();
    for (std::thread* t : {&demuxThread_, &videoThread_, &audioThread_})
        if (t->joinable())
            t->join();
}

int FfmpegBackend::interruptCallback(void* self)
{
    return static_cast<FfmpegBackend*>(self)->quit_.load() ? 1 : 0;
}

MediaTime FfmpegBackend::toMediaTime(int64_t ts, AVRational base) const
{
    return MediaTime(av_rescale_q(ts, base, mediaTimeBase)) - startOffset_;
}

// FFmpeg's own diagnostics go to the platform log, errors only: warnings about single damaged packets
// would flood it.
void forwardLibraryLog(void* object, int level, const char* format, va_list args)
{
    if (level > AV_LOG_ERROR)
        return;
    char line[1024];
    int prefix = 1;
    av_log_format_line2(object, level, format, args, line, sizeof line, &prefix);
    platformLog("ffmpeg: %s", line);
}

OpenError FfmpegBackend::open(const std::string& path, const OpenOptions& options)
{
    static std::once_flag logRouted;
    std::call_once(logRouted, [] { av_log_set_callback(&forwardLibraryLog); });
    if (::access(path.c_str(), F_OK) != 0)
        return OpenError::FileNotFound;
    if (::access(path.c_str(), R_OK) != 0)
        return OpenError::AccessDenied;
    untimed_ = options.untimed;

    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return OpenError::OutOfResources;
    raw->interrupt_callback = {&FfmpegBackend::interruptCallback, this};
    int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (rc < 0) {
        // avformat_open_input frees the context on failure.
        platformLog("mmstream: cannot open %s (%s)\n", path.c_str(), errorText(rc).c_str());
        if (rc == AVERROR(ENOENT))
            return OpenError::FileNotFound;
        if (rc == AVERROR(EACCES))
            return OpenError::AccessDenied;
        if (rc == AVERROR(ENOMEM))
            return OpenError::OutOfResources;
        return OpenError::UnknownFormat;
    }
    format_.reset(raw);
    rc = avformat_find_stream_info(raw, nullptr);
    if (rc < 0)
        platformLog("mmstream: incomplete stream information in %s (%s)\n", path.c_str(), errorText(rc).c_str());
    if (raw->start_time != AV_NOPTS_VALUE && raw->start_time > 0)
        startOffset_ = MediaTime(av_rescale_q(raw->start_time, AV_TIME_BASE_Q, mediaTimeBase));

    bool hasVideo = openVideo(options.decoderThreads);
    bool hasAudio = options.playAudio && !options.untimed && openAudio();
    if (!hasVideo && audioIndex_ < 0) {
        platformLog("mmstream: %s has no stream that can be played\n", path.c_str());
        return OpenError::NoPlayableStream;
    }

    properties_.hasVideo = hasVideo;
    properties_.hasAudio = hasAudio;
    if (raw->duration != AV_NOPTS_VALUE && raw->duration > 0) {
        properties_.duration = MediaTime(av_rescale_q(raw->duration, AV_TIME_BASE_Q, mediaTimeBase));
    } else {
        for (int index : {videoIndex_, audioIndex_}) {
            if (index < 0)
                continue;
            const AVStream* st = raw->streams[index];
            if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
                properties_.duration =
                    std::max(properties_.duration, MediaTime(av_rescale_q(st->duration, st->time_base, mediaTimeBase)));
        }
    }
    if (hasVideo) {
        int frameBytes = av_image_get_buffer_size(videoCodec_->pix_fmt == AV_PIX_FMT_NONE ? AV_PIX_FMT_YUV420P
                                                                                          : videoCodec_->pix_fmt,
            properties_.width, properties_.height, 1);
        if (frameBytes > 0)
            maxFrames_ = std::clamp<std::size_t>(maxQueuedFrameBytes / static_cast<std::size_t>(frameBytes), 3, 8);
    }
    if (!hasAudio)
        audioIndex_ = -1;
    startThreads();
    return OpenError::None;
}

bool FfmpegBackend::openVideo(int decoderThreads)
{
    AVFormatContext* fmt = format_.get();
    const AVCodec* decoder = nullptr;
    int index = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (index < 0 || !decoder)
        return false;
    AVStream* st = fmt->streams[index];
    // Cover art travels as a one-picture video stream; it is not a movie.
    if (st->disposition & AV_DISPOSITION_ATTACHED_PIC)
        return false;
    CodecContextHandle codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), st->codecpar) < 0)
        return false;
    codec->thread_count = decoderThreads > 0 ? decoderThreads : decoderThreadsFor(*st->codecpar, av_guess_frame_rate(fmt, st, nullptr));
    codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    codec->pkt_timebase = st->time_base;
    int rc = avcodec_open2(codec.get(), decoder, nullptr);
    if (rc < 0) {
        platformLog("mmstream: video decoder %s cannot start (%s)\n", decoder->name, errorText(rc).c_str());
        return false;
    }
    if (codec->width <= 0 || codec->height <= 0)
        return false;
    if (codec->width > maxPictureSide || codec->height > maxPictureSide
        || int64_t {codec->width} * codec->height > maxPictureArea) {
        platformLog("mmstream: a picture size of %dx%d is not played\n", codec->width, codec->height);
        return false;
    }
    videoIndex_ = index;
    properties_.width = codec->width;
    properties_.height = codec->height;
    AVRational rate = av_guess_frame_rate(fmt, st, nullptr);
    if (rate.num > 0 && rate.den > 0)
        properties_.frameInterval = MediaTime(av_rescale_q(1, av_inv_q(rate), mediaTimeBase));
    videoCodec_ = std::move(codec);
    return true;
}

bool FfmpegBackend::openAudio()
{
    AVFormatContext* fmt = format_.get();
    const AVCodec* decoder = nullptr;
    int index = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, videoIndex_, &decoder, 0);
    if (index < 0 || !decoder)
        return false;
    AVStream* st = fmt->streams[index];
    CodecContextHandle codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), st->codecpar) < 0)
        return false;
    codec->pkt_timebase = st->time_base;
    int rc = avcodec_open2(codec.get(), decoder, nullptr);
    if (rc < 0) {
        platformLog("mmstream: audio decoder %s cannot start (%s)\n", decoder->name, errorText(rc).c_str());
        return false;
    }
    // The stream counts as present even when there is no device, so that the open succeeds.
    audioIndex_ = index;
    audio_ = AudioOutput::open(codec->sample_rate, codec->ch_layout.nb_channels,
        [this](int16_t* samples, int frames, int rate, int channels) { fillAudio(samples, frames, rate, channels); });
    if (!audio_)
        return false;
    audioRate_ = audio_->sampleRate();
    audioChannels_ = audio_->channels();
    audioCodec_ = std::move(codec);
    return true;
}

void FfmpegBackend::startThreads()
{
    demuxThread_ = std::thread([this] { demuxLoop(); });
    if (videoCodec_)
        videoThread_ = std::thread([this] { videoLoop(); });
    if (audioCodec_)
        audioThread_ = std::thread([this] { audioLoop(); });
}

// Must be called with the mutex held.
bool FfmpegBackend::demuxerHasRoom() const
{
    if (queuedPacketBytes_ >= maxQueuedPacketBytes)
        return false;
    bool videoEnough = !videoCodec_ || videoPackets_.size() > enoughVideoPackets;
    bool audioEnough = !audioCodec_ || audioPackets_.size() > enoughAudioPackets;
    return !(videoEnough && audioEnough);
}

void FfmpegBackend::demuxLoop()
{
    uint64_t generation = 0;
    for (;;) {
        PacketHandle packet(av_packet_alloc());
        std::unique_lock lock(mutex_);
        demuxWake_.wait(lock, [&] { return quit_ || seekPending_ || (!demuxEnded_ && demuxerHasRoom()); });
        if (quit_)
            return;
        if (seekPending_) {
            seekPending_ = false;
            generation = generation_;
            // In the time base of the stream that leads the seek, rounded down: rounding up could land
            // on a key frame just after the target.
            // With neither stream decoded (sound without a device), the container's own default.
            int index = videoCodec_ ? videoIndex_ : audioIndex_;
            AVRational base = index >= 0 ? format_->streams[index]->time_base : AV_TIME_BASE_Q;
            int64_t ts = av_rescale_q_rnd((seekTarget_ + startOffset_).count(), mediaTimeBase, base, AV_ROUND_DOWN);
            lock.unlock();
            // Landing on the key frame at or before the target; the decoders drop what precedes it.
            int rc = avformat_seek_file(format_.get(), index, INT64_MIN, ts, ts, 0);
            if (rc < 0) {
                // No key frame at or before the target (a target before the first picture, or a file
                // without an index): take the nearest one after it.
                rc = avformat_seek_file(format_.get(), index, INT64_MIN, ts, INT64_MAX, 0);
                if (rc < 0)
                    platformLog("mmstream: seek failed (%s)\n", errorText(rc).c_str());
            }
            continue;
        }
        lock.unlock();
        if (!packet)
            return;
        int rc = av_read_frame(format_.get(), packet.get());
        lock.lock();
        if (generation != generation_ || seekPending_)
            continue;  // a seek arrived while reading; this packet belongs to the old position
        if (rc == AVERROR(EAGAIN))
            continue;
        if (rc < 0) {
            if (rc != AVERROR_EOF && !quit_)
                platformLog("mmstream: reading stopped (%s)\n", errorText(rc).c_str());
            demuxEnded_ = true;
            if (videoCodec_)
                videoPackets_.push_back({nullptr, generation});
            if (audioCodec_)
                audioPackets_.push_back({nullptr, generation});
            videoWake_.notify_all();
            audioWake_.notify_all();
            continue;
        }
        std::size_t size = static_cast<std::size_t>(packet->size) + sizeof(AVPacket);
        if (packet->stream_index == videoIndex_ && videoCodec_) {
            queuedPacketBytes_ += size;
            videoPackets_.push_back({std::move(packet), generation});
            videoWake_.notify_all();
        } else if (packet->stream_index == audioIndex_ && audioCodec_) {
            queuedPacketBytes_ += size;
            audioPackets_.push_back({std::move(packet), generation});
            audioWake_.notify_all();
        }
    }
}

void FfmpegBackend::videoLoop()
{
    AVCodecContext* codec = videoCodec_.get();
    const AVStream* st = format_->streams[videoIndex_];
    FrameHandle frame(av_frame_alloc());
    if (!frame)
        return;
    uint64_t generation = 0;
    bool seeking = true;  // until the first frame at or after the target has been passed on
    MediaTime target {0};
    std::optional<DecodedFrame> held;
    MediaTime nextStart {0};
    bool behind = false;

    auto emit = [&](DecodedFrame decoded) {
        if (seeking) {
            // Keep the latest frame that starts at or before the target: it is the one shown there.
            if (decoded.start <= target) {
                held = std::move(decoded);
                return;
            }
            seeking = false;
            if (held)
                pushVideoFrame(std::move(*held), generation);
            held.reset();
        }
        behind = pushVideoFrame(std::move(decoded), generation);
    };
    auto receiveAll = [&] {
        for (;;) {
            int rc = avcodec_receive_frame(codec, frame.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return;
            if (rc < 0) {
                if (loggedVideoErrors_++ < 3)
                    platformLog("mmstream: video frame lost (%s)\n", errorText(rc).c_str());
                return;
            }
            DecodedFrame decoded;
            int64_t ts = frame->best_effort_timestamp;
            decoded.start = ts != AV_NOPTS_VALUE ? toMediaTime(ts, st->time_base) : nextStart;
            MediaTime length = frame->pkt_duration > 0 ? MediaTime(av_rescale_q(frame->pkt_duration, st->time_base, mediaTimeBase))
                                                       : properties_.frameInterval;
            decoded.end = decoded.start + (length.count() > 0 ? length : MediaTime(std::chrono::milliseconds(40)));
            nextStart = decoded.end;
            decoded.frame.reset(av_frame_clone(frame.get()));
            av_frame_unref(frame.get());
            if (decoded.frame)
                emit(std::move(decoded));
        }
    };

    for (;;) {
        QueuedPacket item;
        bool refill = false;
        {
            std::unique_lock lock(mutex_);
            videoWake_.wait(lock, [&] { return quit_ || !videoPackets_.empty(); });
            if (quit_)
                return;
            item = std::move(videoPackets_.front());
            videoPackets_.pop_front();
            if (item.packet)
                queuedPacketBytes_ -= static_cast<std::size_t>(item.packet->size) + sizeof(AVPacket);
            refill = videoPackets_.size() <= refillVideoPackets;
            if (item.generation != generation) {
                generation = item.generation;
                target = seekTarget_;
                lock.unlock();
                avcodec_flush_buffers(codec);
                seeking = true;
                held.reset();
                nextStart = target;
                behind = false;
            }
        }
        if (refill)
            demuxWake_.notify_all();

        // Never while seeking: the picture at the target may be one that nothing refers to.
        codec->skip_frame = behind && !seeking ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        for (;;) {
            int rc = avcodec_send_packet(codec, item.packet.get());
            if (rc == AVERROR(EAGAIN)) {
                receiveAll();
                continue;
            }
            if (rc < 0 && rc != AVERROR_EOF && loggedVideoErrors_++ < 3)
                platformLog("mmstream: video packet skipped (%s)\n", errorText(rc).c_str());
            break;
        }
        receiveAll();
        if (!item.packet) {
            // The end of the input: the decoder has given everything it held.
            if (held)
                pushVideoFrame(std::move(*held), generation);
            held.reset();
            seeking = false;
            std::lock_guard lock(mutex_);
            if (generation == generation_)
                videoEnded_ = true;
            frameWake_.notify_all();
        }
    }
}

bool FfmpegBackend::pushVideoFrame(DecodedFrame decoded, uint64_t generation)
{
    std::unique_lock lock(mutex_);
    videoWake_.wait(lock, [&] { return quit_ || generation != generation_ || frames_.size() < maxFrames_; });
    if (quit_ || generation != generation_)
        return false;
    bool late = !untimed_ && running_ && clock_.at(SteadyClock::now()) - decoded.start > decoderLateLimit;
    if (late)
        traceFrameEvent('L', std::chrono::duration_cast<std::chrono::milliseconds>(decoded.start).count());
    lastFrameEnd_ = std::max(lastFrameEnd_, decoded.end);
    frames_.push_back(std::move(decoded));
    // Only a caller waiting for any picture at all cares; one waiting for the first queued picture
    // to fall due wakes at that time by itself.
    if (frames_.size() == 1)
        frameWake_.notify_all();
    return late;
}

void FfmpegBackend::audioLoop()
{
    AVCodecContext* codec = audioCodec_.get();
    const AVStream* st = format_->streams[audioIndex_];
    const int outRate = audioRate_;
    const int outChannels = audioChannels_;
    FrameHandle frame(av_frame_alloc());
    if (!frame)
        return;
    ResamplerHandle resampler;
    AVChannelLayout inLayout {};
    int inRate = 0;
    int inFormat = -1;
    uint64_t generation = 0;
    MediaTime target {0};
    MediaTime expected {0};

    auto resample = [&](AVFrame* in) -> bool {
        AVChannelLayout layout {};
        if (in->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || in->ch_layout.nb_channels == 0)
            av_channel_layout_default(&layout, in->ch_layout.nb_channels > 0 ? in->ch_layout.nb_channels : codec->ch_layout.nb_channels);
        else
            av_channel_layout_copy(&layout, &in->ch_layout);
        bool same = resampler && inRate == in->sample_rate && inFormat == in->format
            && av_channel_layout_compare(&layout, &inLayout) == 0;
        if (!same) {
            AVChannelLayout outLayout {};
            av_channel_layout_default(&outLayout, outChannels);
            SwrContext* raw = nullptr;
            int rc = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_S16, outRate, &layout,
                static_cast<AVSampleFormat>(in->format), in->sample_rate, 0, nullptr);
            resampler.reset(raw);
            av_channel_layout_uninit(&outLayout);
            if (rc < 0 || swr_init(resampler.get()) < 0) {
                resampler.reset();
                av_channel_layout_uninit(&layout);
                return false;
            }
            av_channel_layout_uninit(&inLayout);
            inLayout = layout;
            inRate = in->sample_rate;
            inFormat = in->format;
        } else {
            av_channel_layout_uninit(&layout);
        }
        return true;
    };
    auto receiveAll = [&] {
        for (;;) {
            int rc = avcodec_receive_frame(codec, frame.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return;
            if (rc < 0) {
                if (loggedAudioErrors_++ < 3)
                    platformLog("mmstream: sound lost (%s)\n", errorText(rc).c_str());
                return;
            }
            if (frame->sample_rate <= 0 || !resample(frame.get())) {
                av_frame_unref(frame.get());
                continue;
            }
            int capacity = swr_get_out_samples(resampler.get(), frame->nb_samples);
            AudioChunk chunk;
            chunk.samples.resize(static_cast<std::size_t>(std::max(capacity, 0)) * outChannels);
            uint8_t* out = reinterpret_cast<uint8_t*>(chunk.samples.data());
            int produced = swr_convert(resampler.get(), &out, capacity,
                const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
            int64_t ts = frame->best_effort_timestamp;
            av_frame_unref(frame.get());
            if (produced <= 0)
                continue;
            chunk.samples.resize(static_cast<std::size_t>(produced) * outChannels);
            MediaTime start = ts != AV_NOPTS_VALUE ? toMediaTime(ts, st->time_base) : expected;
            if (start > expected - audioJitter && start < expected + audioJitter)
                start = expected;
            chunk.start = start;
            MediaTime length(static_cast<int64_t>(produced) * 10'000'000 / outRate);
            expected = start + length;
            if (expected <= target)
                continue;  // wholly before the seek target
            pushAudioChunk(std::move(chunk), generation);
        }
    };

    for (;;) {
        QueuedPacket item;
        bool refill = false;
        {
            std::unique_lock lock(mutex_);
            audioWake_.wait(lock, [&] { return quit_ || !audioPackets_.empty(); });
            if (quit_)
                break;
            item = std::move(audioPackets_.front());
            audioPackets_.pop_front();
            if (item.packet)
                queuedPacketBytes_ -= static_cast<std::size_t>(item.packet->size) + sizeof(AVPacket);
            refill = audioPackets_.size() <= refillAudioPackets;
            if (item.generation != generation) {
                generation = item.generation;
                target = seekTarget_;
                lock.unlock();
                avcodec_flush_buffers(codec);
                expected = target;
                if (resampler)
                    swr_init(resampler.get());  // drops the samples it buffered for the old position
            }
        }
        if (refill)
            demuxWake_.notify_all();
        for (;;) {
            int rc = avcodec_send_packet(codec, item.packet.get());
            if (rc == AVERROR(EAGAIN)) {
                receiveAll();
                continue;
            }
            if (rc < 0 && rc != AVERROR_EOF && loggedAudioErrors_++ < 3)
                platformLog("mmstream: sound packet skipped (%s)\n", errorText(rc).c_str());
            break;
        }
        receiveAll();
        if (!item.packet) {
            std::lock_guard lock(mutex_);
            if (generation == generation_)
                audioEnded_ = true;
            frameWake_.notify_all();
        }
    }
    av_channel_layout_uninit(&inLayout);
}

void FfmpegBackend::pushAudioChunk(AudioChunk chunk, uint64_t generation)
{
    std::unique_lock lock(mutex_);
    audioWake_.wait(lock, [&] { return quit_ || generation != generation_ || queuedAudio_ < maxQueuedAudio; });
    if (quit_ || generation != generation_)
        return;
    queuedAudio_ += MediaTime(static_cast<int64_t>(chunk.samples.size() / audioChannels_) * 10'000'000 / audioRate_);
    audioChunks_.push_back(std::move(chunk));
}

// Runs on the audio thread. Places each chunk at its own time: silence fills a gap before it and the
// part of it that is already late is dropped, so the sound stays on the clock whatever the decoder does.
void FfmpegBackend::fillAudio(int16_t* samples, int frames, int rate, int channels)
{
    std::fill(samples, samples + static_cast<std::ptrdiff_t>(frames) * channels, int16_t {0});
    std::lock_guard lock(mutex_);
    if (!running_)
        return;
    if (!audioPrimed_) {
        if (audioChunks_.empty() && !audioEnded_ && primingFrames_ * 10'000'000 / rate < audioPrimingLimit.count()) {
            primingFrames_ += frames;
            return;
        }
        audioPrimed_ = true;
    }
    auto positionOf = [&](int64_t framesOut) { return audioBase_ + MediaTime(framesOut * 10'000'000 / rate); };
    const MediaTime bufferStart = positionOf(audioFramesOut_);
    int written = 0;
    while (written < frames && !audioChunks_.empty()) {
        AudioChunk& chunk = audioChunks_.front();
        int64_t available = static_cast<int64_t>(chunk.samples.size() / channels) - static_cast<int64_t>(chunk.offsetFrames);
        MediaTime chunkPos = chunk.start + MediaTime(static_cast<int64_t>(chunk.offsetFrames) * 10'000'000 / rate);
        MediaTime here = positionOf(audioFramesOut_ + written);
        int64_t gapFrames = (chunkPos - here).count() * rate / 10'000'000;
        if (gapFrames > 0 && chunkPos - here > audioJitter) {
            written += static_cast<int>(std::min<int64_t>(gapFrames, frames - written));  // silence
            continue;
        }
        if (gapFrames < 0 && here - chunkPos > audioJitter) {
            int64_t drop = std::min<int64_t>(-gapFrames, available);
            chunk.offsetFrames += static_cast<std::size_t>(drop);
            available -= drop;
        }
        int64_t take = std::min<int64_t>(available, frames - written);
        std::memcpy(samples + static_cast<std::ptrdiff_t>(written) * channels,
            chunk.samples.data() + chunk.offsetFrames * channels, static_cast<std::size_t>(take) * channels * sizeof(int16_t));
        chunk.offsetFrames += static_cast<std::size_t>(take);
        written += static_cast<int>(take);
        if (static_cast<int64_t>(chunk.offsetFrames) * channels >= static_cast<int64_t>(chunk.samples.size())) {
            queuedAudio_ -= MediaTime(static_cast<int64_t>(chunk.samples.size() / channels) * 10'000'000 / rate);
            audioChunks_.pop_front();
        }
    }
    audioFramesOut_ += frames;
    const bool starting = !clock_.ticking;
    clock_.set(bufferStart, SteadyClock::now(), positionOf(audioFramesOut_));
    clock_.ticking = true;
    if (queuedAudio_ < audioRefillLevel)
        audioWake_.notify_all();
    // A caller that waited for a picture while the clock stood would otherwise sleep out its whole
    // wait while pictures fall due.
    if (starting || (audioEnded_ && audioChunks_.empty()))
        frameWake_.notify_all();
}

void FfmpegBackend::run()
{
    {
        std::lock_guard lock(mutex_);
        if (running_)
            return;
        running_ = true;
        if (!audio_) {
            clock_.set(clock_.anchorPos, SteadyClock::now());
            clock_.ticking = true;
        }
    }
    frameWake_.notify_all();
    if (audio_)
        audio_->setPaused(false);
}

void FfmpegBackend::stop()
{
    {
        std::lock_guard lock(mutex_);
        if (!running_)
            return;
        running_ = false;
        clock_.hold(SteadyClock::now());
    }
    frameWake_.notify_all();
    if (audio_)
        audio_->setPaused(true);
}

bool FfmpegBackend::running() const
{
    std::lock_guard lock(mutex_);
    return running_;
}

MediaTime FfmpegBackend::time() const
{
    std::lock_guard lock(mutex_);
    if (untimed_)
        return lastDelivered_;
    return clock_.at(SteadyClock::now());
}

void FfmpegBackend::seek(MediaTime target)
{
    if (target < MediaTime(0))
        target = MediaTime(0);
    if (properties_.duration > MediaTime(0) && target > properties_.duration)
        target = properties_.duration;
    {
        std::lock_guard lock(mutex_);
        ++generation_;
        seekPending_ = true;
        seekTarget_ = target;
        demuxEnded_ = false;
        videoPackets_.clear();
        audioPackets_.clear();
        queuedPacketBytes_ = 0;
        frames_.clear();
        videoEnded_ = false;
        lastFrameEnd_ = target;
        lastDelivered_ = target;
        positionShown_ = false;
        audioChunks_.clear();
        queuedAudio_ = MediaTime(0);
        audioEnded_ = false;
        audioBase_ = target;
        audioFramesOut_ = 0;
        audioPrimed_ = false;
        primingFrames_ = 0;
        clock_.set(target, SteadyClock::now());
        if (audio_)
            clock_.ticking = false;  // until the device plays the first sound of the new position
    }
    demuxWake_.notify_all();
    videoWake_.notify_all();
    audioWake_.notify_all();
    frameWake_.notify_all();
}

FrameDelivery FfmpegBackend::deliverFrame(Surface& target, std::chrono::milliseconds timeout)
{
    FrameHandle frame;
    FrameDelivery delivery = takeFrame(timeout, frame);
    if (delivery.outcome == FrameOutcome::Delivered)
        converter_->convert(*frame, target, 0, 0, target.width, target.height);
    return delivery;
}

FrameDelivery FfmpegBackend::deliverPicture(SampleTarget& target, std::chrono::milliseconds timeout)
{
    FrameHandle frame;
    FrameDelivery delivery = takeFrame(timeout, frame);
    if (delivery.outcome == FrameOutcome::Delivered)
        target.samplePicture(std::make_unique<FfmpegPicture>(std::move(frame), converter_));
    return delivery;
}

FrameDelivery FfmpegBackend::takeFrame(std::chrono::milliseconds timeout, FrameHandle& frame)
{
    const auto deadline = SteadyClock::now() + timeout;
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto now = SteadyClock::now();
        const MediaTime t = clock_.at(now);
        if (!videoCodec_)
            return {FrameOutcome::EndOfStream};
        if (!untimed_) {
            // Frames whose successor is already due are late: skip them.
            while (frames_.size() >= 2 && frames_[1].start <= t) {
                traceFrameEvent('S', std::chrono::duration_cast<std::chrono::milliseconds>(frames_.front().start).count());
                frames_.pop_front();
                videoWake_.notify_all();
            }
        }
        if (!frames_.empty()) {
            DecodedFrame& next = frames_.front();
            // The first picture after an open or a seek is shown at once, even when the position lies
            // before it, so that a stopped stream shows where it stands.
            if (untimed_ || next.start <= t || !positionShown_) {
                DecodedFrame shown = std::move(next);
                frames_.pop_front();
                lastDelivered_ = shown.start;
                positionShown_ = true;
                videoWake_.notify_all();
                lock.unlock();
                frame = std::move(shown.frame);
                traceFrameEvent('D', std::chrono::duration_cast<std::chrono::milliseconds>(shown.start).count());
                return {FrameOutcome::Delivered, shown.start, shown.end};
            }
            if (now >= deadline)
                return {FrameOutcome::NotDue};
            auto wakeAt = deadline;
            if (clock_.ticking) {
                auto due = now + std::max(std::chrono::duration_cast<SteadyClock::duration>(next.start - t),
                                     SteadyClock::duration(std::chrono::milliseconds(1)));
                wakeAt = std::min(wakeAt, due);
            }
            frameWake_.wait_until(lock, wakeAt);
            continue;
        }
        if (videoEnded_) {
            bool soundDone = !audio_ || (audioEnded_ && audioChunks_.empty());
            if (untimed_ || (soundDone && t >= lastFrameEnd_))
                return {FrameOutcome::EndOfStream};
            if (now >= deadline)
                return {FrameOutcome::NotDue};
            // The last picture stays until its time is over and the sound has played out (the audio
            // thread signals that).
            auto wakeAt = deadline;
            if (clock_.ticking && t < lastFrameEnd_)
                wakeAt = std::min(wakeAt,
                    now + std::max(std::chrono::duration_cast<SteadyClock::duration>(lastFrameEnd_ - t),
                              SteadyClock::duration(std::chrono::milliseconds(1))));
            frameWake_.wait_until(lock, wakeAt);
            continue;
        }
        if (now >= deadline) {
            // A stopped stream whose picture is shown is not behind: nothing more is due.
            return {positionShown_ && !running_ ? FrameOutcome::NotDue : FrameOutcome::DecoderBehind};
        }
        frameWake_.wait_until(lock, deadline);
    }
}

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

bool PictureConverter::convert(const AVFrame& frame, Surface& target, int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0 || frame.width <= 0 || frame.height <= 0 || x < 0 || y < 0
        || width > target.width - x || height > target.height - y)
        return false;
    AVPixelFormat dstFormat = target.format == PixelFormat::RGB565 ? AV_PIX_FMT_RGB565 : AV_PIX_FMT_0RGB32;
    std::array<int, 6> key {frame.width, frame.height, frame.format, width, height, dstFormat};
    if (key != key_)
        colorSpace_ = -1;  // a new context starts with the BT.601 defaults
    key_ = key;
    SwsContext* scaler = sws_getCachedContext(scaler_.release(), frame.width, frame.height,
        static_cast<AVPixelFormat>(frame.format), width, height, dstFormat, SWS_BILINEAR, nullptr, nullptr, nullptr);
    scaler_.reset(scaler);
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
    uint8_t* dst[4] = {target.pixels.data() + static_cast<std::size_t>(y) * target.pitch
            + static_cast<std::size_t>(x) * (target.bitsPerPixel() / 8),
        nullptr, nullptr, nullptr};
    int dstStride[4] = {target.pitch, 0, 0, 0};
    sws_scale(scaler, frame.data, frame.linesize, 0, frame.height, dst, dstStride);
    return true;
}

BackendOpener& currentOpener()
{
    static BackendOpener opener;
    return opener;
}

}

std::unique_ptr<MediaBackend> openFfmpegBackend(const std::string& path, const OpenOptions& options, OpenError& error)
{
    auto backend = std::make_unique<FfmpegBackend>();
    error = backend->open(path, options);
    if (error != OpenError::None)
        return nullptr;
    return backend;
}

BackendOpener setMediaBackendOpener(BackendOpener opener)
{
    BackendOpener previous = std::move(currentOpener());
    currentOpener() = std::move(opener);
    return previous;
}

BackendOpener mediaBackendOpener()
{
    if (currentOpener())
        return currentOpener();
    return &openFfmpegBackend;
}

}
