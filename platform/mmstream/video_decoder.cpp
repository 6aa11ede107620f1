#include "platform/mmstream/video_decoder.h"

#include "platform/frame_trace.h"
#include "platform/kernel.h"

#include <algorithm>
#include <utility>

namespace platform {

VideoDecoder::VideoDecoder(SharedState& shared, CodecContextHandle codec, const AVStream& stream, MediaTime startOffset,
    MediaTime frameInterval, bool untimed)
    : DecoderLoop(shared, shared.video, refillVideoPackets, shared.videoEnded, std::move(codec), stream,
          {"video packet", "video frame"})
    , startOffset_(startOffset)
    , frameInterval_(frameInterval)
    , untimed_(untimed)
    , tvCoding_(captionCodingOf(stream.codecpar->codec_id))
{
}

void VideoDecoder::restart(MediaTime target)
{
    target_ = target;
    seeking_ = true;
    held_.reset();
    nextStart_ = target;
    lastStart_.reset();
    skip_.reset();
    resumeAtKeyframe_ = false;
    deinterlacer_.reset();
    droppedCaptions_.clear();
    if (tvCaptions_.sawData()) {
        tvCaptions_.breakOff();
        queueTvCaptions();
    }
}

bool VideoDecoder::dropPacket(const AVPacket& packet)
{
    if (skip_.skip() != DecoderSkip::ToKeyframe || seeking_)
        return false;
    std::optional<MediaTime> start;
    if (packet.pts != AV_NOPTS_VALUE)
        start = toMediaTime(packet.pts, stream_.time_base) - startOffset_;
    // A keyframe that is due already would come out too late as well (every packet of an intra-only
    // movie is a keyframe).
    bool due = start && shared_.running && *start <= shared_.clock.at(SteadyClock::now());
    if (!(packet.flags & AV_PKT_FLAG_KEY) || due) {
        traceFrameEvent('K', start ? std::chrono::duration_cast<std::chrono::milliseconds>(*start).count() : -1);
        if (tvCoding_) {
            DroppedCaptions dropped {{}, start, packet.duration > 0 ? toMediaTime(packet.duration, stream_.time_base) : frameInterval_};
            findCcData(*tvCoding_, std::span<const uint8_t>(packet.data, static_cast<size_t>(packet.size)), dropped.triplets);
            droppedCaptions_.push_back(std::move(dropped));
        }
        return true;
    }
    resumeAtKeyframe_ = true;
    skip_.keyframeReached();
    return false;
}

void VideoDecoder::beforePacket(const AVPacket* packet)
{
    if (packet && tvCoding_)
        readTvCaptions(*packet);
    // What the decoder still holds of the pictures before the keyframe is late, and its references are gone.
    if (resumeAtKeyframe_)
        avcodec_flush_buffers(codec_.get());
    resumeAtKeyframe_ = false;
    // Never while seeking, except for pictures well before the target (decodedBeforeTarget): the picture
    // at the target may be one that nothing refers to, and so may the one just before it, which a frame
    // step back goes to. So a seek, and a step back, decode little more than the target's picture needs.
    bool wellBefore = false;
    if (seeking_ && packet && packet->pts != AV_NOPTS_VALUE && frameInterval_ > MediaTime(0))
        wellBefore = toMediaTime(packet->pts, stream_.time_base) - startOffset_ < target_ - decodedBeforeTarget();
    const bool skipping = skip_.skip() != DecoderSkip::None && !seeking_;
    codec_->skip_frame = skipping || wellBefore ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
}

void VideoDecoder::take(AVFrame& frame)
{
    DecodedFrame decoded;
    int64_t ts = frame.best_effort_timestamp;
    decoded.start = ts != AV_NOPTS_VALUE ? toMediaTime(ts, stream_.time_base) - startOffset_ : nextStart_;
    MediaTime length = frame.pkt_duration > 0 ? toMediaTime(frame.pkt_duration, stream_.time_base) : frameInterval_;
    decoded.end = decoded.start + (length.count() > 0 ? length : MediaTime(std::chrono::milliseconds(40)));
    nextStart_ = decoded.end;
    if (deinterlacer_.wants(frame)) {
        std::vector<Deinterlacer::Picture> fields;
        if (deinterlacer_.push(frame, decoded.start, decoded.end, fields)) {
            for (Deinterlacer::Picture& field : fields)
                emit({std::move(field.frame), field.start, field.end});
            return;
        }
    }
    decoded.frame.reset(av_frame_clone(&frame));
    if (decoded.frame)
        emit(std::move(decoded));
}

void VideoDecoder::readTvCaptions(const AVPacket& packet)
{
    // The decoder's own reordering tells how far decoding order runs ahead of presentation order.
    const int depth = std::max(codec_->has_b_frames, 1);
    for (DroppedCaptions& dropped : droppedCaptions_)
        tvCaptions_.codedPicture(std::move(dropped.triplets), dropped.start, dropped.length, depth);
    droppedCaptions_.clear();
    std::vector<uint8_t> triplets;
    findCcData(*tvCoding_, std::span<const uint8_t>(packet.data, static_cast<size_t>(packet.size)), triplets);
    std::optional<MediaTime> start;
    if (packet.pts != AV_NOPTS_VALUE)
        start = toMediaTime(packet.pts, stream_.time_base) - startOffset_;
    const MediaTime length = packet.duration > 0 ? toMediaTime(packet.duration, stream_.time_base) : frameInterval_;
    tvCaptions_.codedPicture(std::move(triplets), start, length, depth);
    if (tvCaptions_.sawData())
        queueTvCaptions();
}

void VideoDecoder::queueTvCaptions()
{
    const bool changed = tvCaptions_.streamsChanged();
    const uint64_t selectionChanges = shared_.tvCaptionChanges.load();
    std::vector<CaptionText> texts;
    if (selectionChanges == tvCaptionChanges_)
        tvCaptions_.take(texts, lastTvSelection_);
    if (texts.empty() && !changed && selectionChanges == tvCaptionChanges_)
        return;
    SharedState& s = shared_;
    std::lock_guard lock(s.mutex);
    if (selectionChanges != tvCaptionChanges_) {
        tvCaptionChanges_ = s.tvCaptionChanges.load();
        lastTvSelection_ = s.tvCaptionSelection;
        tvCaptions_.take(texts, lastTvSelection_);
    }
    if (changed) {
        // Streams found while playing join those the first pass found.
        for (CaptionStreamInfo& found : tvCaptions_.streams()) {
            auto known = std::find_if(s.tvCaptionStreams.begin(), s.tvCaptionStreams.end(),
                [&](const CaptionStreamInfo& info) { return info.index == found.index; });
            if (known == s.tvCaptionStreams.end())
                s.tvCaptionStreams.push_back(std::move(found));
            else if (known->language.empty())
                known->language = found.language;
        }
        // CEA-708 services first, then the CEA-608 channels.
        auto order = [](const CaptionStreamInfo& info) { return std::pair(info.index < cea708StreamBase, info.index); };
        std::sort(s.tvCaptionStreams.begin(), s.tvCaptionStreams.end(),
            [&](const CaptionStreamInfo& a, const CaptionStreamInfo& b) { return order(a) < order(b); });
    }
    for (CaptionText& text : texts) {
        const std::size_t size = text.text.size() + sizeof text;
        if (s.queuedCaptionBytes + size > maxQueuedCaptionBytes) {
            if (!s.captionOverflowLogged)
                platformLog("mmstream: captions not taken, later ones dropped\n");
            s.captionOverflowLogged = true;
            break;
        }
        s.queuedCaptionBytes += size;
        s.captionTexts.push_back(std::move(text));
    }
}

void VideoDecoder::emit(DecodedFrame decoded)
{
    // A frame step back goes straight to the picture before. Pictures the decoder skips break the chain;
    // those before a seek's target are skipped only further back than decodedBeforeTarget.
    decoded.previousStart.reset();
    if (skip_.skip() == DecoderSkip::None && lastStart_ && decoded.start - *lastStart_ <= decodedBeforeTarget())
        decoded.previousStart = lastStart_;
    lastStart_ = decoded.start;
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
    const MediaTime start = decoded.start;
    const MediaTime length = decoded.end - decoded.start;
    if (std::optional<Lateness> late = push(std::move(decoded)))
        skip_.picture(start, length, late->lateness, late->showCost);
}

void VideoDecoder::finish()
{
    std::vector<Deinterlacer::Picture> fields;
    deinterlacer_.finish(fields);
    for (Deinterlacer::Picture& field : fields)
        emit({std::move(field.frame), field.start, field.end});
    if (tvCoding_) {
        for (DroppedCaptions& dropped : droppedCaptions_)
            tvCaptions_.codedPicture(std::move(dropped.triplets), dropped.start, dropped.length, 0);
        droppedCaptions_.clear();
        tvCaptions_.flushCoded();
    }
    if (tvCaptions_.sawData()) {
        tvCaptions_.breakOff();
        queueTvCaptions();
    }
    // The decoder has given everything it held.
    if (held_)
        push(std::move(*held_));
    held_.reset();
    seeking_ = false;
}

std::optional<VideoDecoder::Lateness> VideoDecoder::push(DecodedFrame decoded)
{
    SharedState& s = shared_;
    std::unique_lock lock(s.mutex);
    // A decoder that finds no room is not behind, whatever the clock says: the caller has not taken
    // what it gave.
    std::optional<Lateness> late;
    if (!untimed_ && s.running && s.clock.ticking && s.frames.size() < s.maxFrames)
        late = Lateness {s.clock.at(SteadyClock::now()) - decoded.start, s.showCost};
    s.video.wake.wait(lock, [&] { return s.quit || generation_ != s.generation || s.frames.size() < s.maxFrames; });
    if (s.quit || generation_ != s.generation)
        return std::nullopt;
    decoded.queuedAt = s.clock.at(SteadyClock::now());
    if (late && late->lateness > decoded.end - decoded.start)
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
