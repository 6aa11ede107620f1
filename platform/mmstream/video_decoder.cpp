#include "platform/mmstream/video_decoder.h"

#include "platform/frame_trace.h"

#include <algorithm>
#include <utility>

namespace platform {

namespace {

// A decoder whose pictures come out this late skips the pictures nothing refers to until it has caught up.
constexpr MediaTime decoderLateLimit = std::chrono::milliseconds(150);

}

VideoDecoder::VideoDecoder(SharedState& shared, CodecContextHandle codec, const AVStream& stream, MediaTime startOffset,
    MediaTime frameInterval, bool untimed)
    : DecoderLoop(shared, shared.video, refillVideoPackets, shared.videoEnded, std::move(codec), stream,
          {"video packet", "video frame"})
    , startOffset_(startOffset)
    , frameInterval_(frameInterval)
    , untimed_(untimed)
{
}

void VideoDecoder::restart(MediaTime target)
{
    target_ = target;
    seeking_ = true;
    held_.reset();
    nextStart_ = target;
    behind_ = false;
}

void VideoDecoder::beforePacket()
{
    // Never while seeking: the picture at the target may be one that nothing refers to.
    codec_->skip_frame = behind_ && !seeking_ ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
}

void VideoDecoder::take(AVFrame& frame)
{
    DecodedFrame decoded;
    int64_t ts = frame.best_effort_timestamp;
    decoded.start = ts != AV_NOPTS_VALUE ? toMediaTime(ts, stream_.time_base) - startOffset_ : nextStart_;
    MediaTime length = frame.pkt_duration > 0 ? toMediaTime(frame.pkt_duration, stream_.time_base) : frameInterval_;
    decoded.end = decoded.start + (length.count() > 0 ? length : MediaTime(std::chrono::milliseconds(40)));
    nextStart_ = decoded.end;
    decoded.frame.reset(av_frame_clone(&frame));
    if (decoded.frame)
        emit(std::move(decoded));
}

void VideoDecoder::emit(DecodedFrame decoded)
{
    if (seeking_) {
        // Keep the latest frame that starts at or before the target: it is the one shown there.
        if (decoded.start <= target_) {
            held_ = std::move(decoded);
            return;
        }
        seeking_ = false;
        if (held_)
            push(std::move(*held_));
        held_.reset();
    }
    behind_ = push(std::move(decoded));
}

void VideoDecoder::finish()
{
    // The decoder has given everything it held.
    if (held_)
        push(std::move(*held_));
    held_.reset();
    seeking_ = false;
}

bool VideoDecoder::push(DecodedFrame decoded)
{
    SharedState& s = shared_;
    std::unique_lock lock(s.mutex);
    s.video.wake.wait(lock, [&] { return s.quit || generation_ != s.generation || s.frames.size() < s.maxFrames; });
    if (s.quit || generation_ != s.generation)
        return false;
    decoded.queuedAt = s.clock.at(SteadyClock::now());
    bool late = !untimed_ && s.running && decoded.queuedAt - decoded.start > decoderLateLimit;
    if (late)
        traceFrameEvent('L', std::chrono::duration_cast<std::chrono::milliseconds>(decoded.start).count());
    s.lastFrameEnd = std::max(s.lastFrameEnd, decoded.end);
    s.frames.push_back(std::move(decoded));
    // Only a caller waiting for any picture at all cares; one waiting for the first queued picture
    // to fall due wakes at that time by itself.
    if (s.frames.size() == 1)
        s.frameWake.notify_all();
    return late;
}

}
