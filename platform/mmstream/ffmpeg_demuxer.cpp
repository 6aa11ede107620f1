#include "platform/mmstream/ffmpeg_demuxer.h"

#include "platform/kernel.h"
#include "platform/mmstream/caption_pictures.h"
#include "platform/mmstream/caption_streams.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// The sound read again before a new audio stream's starting moment, for its decoder to settle.
constexpr MediaTime audioPreroll = std::chrono::milliseconds(200);

}

int FfmpegDemuxer::interruptCallback(void* self)
{
    return static_cast<FfmpegDemuxer*>(self)->shared_.quit.load() ? 1 : 0;
}

OpenError FfmpegDemuxer::open(const std::string& path)
{
    if (::access(path.c_str(), F_OK) != 0)
        return OpenError::FileNotFound;
    if (::access(path.c_str(), R_OK) != 0)
        return OpenError::AccessDenied;

    if (overrunsVobSubReader(path, false)) {
        platformLog("mmstream: cannot open %s (a VobSub index switching among more than 32 streams)\n", path.c_str());
        return OpenError::UnknownFormat;
    }
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return OpenError::OutOfResources;
    raw->interrupt_callback = {&FfmpegDemuxer::interruptCallback, this};
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
        startOffset_ = toMediaTime(raw->start_time, AV_TIME_BASE_Q);
    return OpenError::None;
}

void FfmpegDemuxer::queueStreams(int videoIndex, int audioIndex)
{
    videoIndex_ = videoIndex;
    {
        std::lock_guard lock(shared_.mutex);
        shared_.audioIndex = audioIndex;
    }
    readOnlyAudio(audioIndex);
}

void FfmpegDemuxer::readOnlyAudio(int index)
{
    audioRead_ = index;
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        AVStream* st = format_->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            st->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
}

CaptionStreamInfo FfmpegDemuxer::readCaptions(const std::shared_ptr<const CaptionFonts>& fonts,
    const std::vector<CaptionStreamInfo>& tvStreams)
{
    CaptionStreamInfo chosen = chooseCaptionStream(*format_, LogBitmapStreams::Yes, tvStreams);
    if (chosen.index < 0 || static_cast<unsigned>(containerStreamOf(chosen.index)) >= format_->nb_streams)
        return chosen;
    CaptionStreamDecoder stream;
    stream.index = chosen.index;
    stream.container = containerStreamOf(chosen.index);
    if (!stream.decoder.open(*format_->streams[stream.container], startOffset_, teletextPageOf(chosen.index)))
        return {};
    captionDecoders_.clear();
    captionDecoders_.push_back(std::move(stream));
    chosen.style = authoredStyleOf(*format_->streams[containerStreamOf(chosen.index)], fonts);
    return chosen;
}

bool FfmpegDemuxer::decodesCaptionsOf(int index) const
{
    return std::any_of(captionDecoders_.begin(), captionDecoders_.end(),
        [index](const CaptionStreamDecoder& d) { return d.container == index; });
}

bool FfmpegDemuxer::decodeCaptionStreams(const std::vector<int>& wanted)
{
    std::vector<CaptionStreamDecoder> kept;
    bool added = false;
    for (int index : wanted) {
        const int container = containerStreamOf(index);
        if (index < 0 || container < 0 || static_cast<unsigned>(container) >= format_->nb_streams)
            continue;
        auto old = std::find_if(captionDecoders_.begin(), captionDecoders_.end(),
            [index](const CaptionStreamDecoder& d) { return d.index == index; });
        if (old != captionDecoders_.end()) {
            kept.push_back(std::move(*old));
            captionDecoders_.erase(old);
            continue;
        }
        CaptionStreamDecoder stream;
        stream.index = index;
        stream.container = container;
        if (stream.decoder.open(*format_->streams[container], startOffset_, teletextPageOf(index))) {
            kept.push_back(std::move(stream));
            added = true;
        }
    }
    captionDecoders_ = std::move(kept);
    return added;
}

void FfmpegDemuxer::decodeCaption(CaptionStreamDecoder& stream, AVPacket& packet, uint64_t generation)
{
    std::vector<CaptionText> texts;
    std::vector<CaptionPictureHandle> pictures;
    stream.decoder.decode(packet, texts, pictures);
    if (texts.empty() && pictures.empty())
        return;
    for (CaptionText& text : texts)
        text.stream = stream.index;
    std::lock_guard lock(shared_.mutex);
    if (generation != shared_.generation)
        return;
    auto overflow = [&] {
        if (!shared_.captionOverflowLogged)
            platformLog("mmstream: captions not taken, later ones dropped\n");
        shared_.captionOverflowLogged = true;
    };
    for (CaptionText& text : texts) {
        std::size_t size = text.text.size() + sizeof text;
        if (shared_.queuedCaptionBytes + size > maxQueuedCaptionBytes)
            return overflow();
        shared_.queuedCaptionBytes += size;
        shared_.captionTexts.push_back(std::move(text));
    }
    for (CaptionPictureHandle& picture : pictures) {
        std::size_t size = sizeof(CaptionPicture);
        for (const CaptionBitmap& bitmap : picture->bitmaps)
            size += bitmap.bytes();
        if (shared_.queuedPictureBytes + size > maxQueuedCaptionBytes)
            return overflow();
        shared_.queuedPictureBytes += size;
        shared_.captionPictures.push_back(std::move(picture));
    }
}

bool FfmpegDemuxer::hasRoom() const
{
    if (shared_.queuedPacketBytes >= maxQueuedPacketBytes)
        return false;
    bool videoEnough = videoIndex_ < 0 || shared_.video.packets.size() > enoughVideoPackets;
    bool audioEnough = shared_.audioIndex < 0 || shared_.audio.packets.size() > enoughAudioPackets;
    return !(videoEnough && audioEnough);
}

void FfmpegDemuxer::run()
{
    SharedState& s = shared_;
    uint64_t generation = 0;
    for (;;) {
        PacketHandle packet(av_packet_alloc());
        std::unique_lock lock(s.mutex);
        s.demuxWake.wait(lock, [&] {
            return s.quit || s.seekPending || s.audioResync || s.captionResync
                || (!s.demuxEnded && (hasRoom() || (catchingUp() && s.queuedPacketBytes < maxQueuedPacketBytes)));
        });
        if (s.quit)
            return;
        const int audioIndex = s.audioIndex;
        if (s.seekPending) {
            s.seekPending = false;
            s.audioResync = false;  // the seek reads everything again anyway
            const bool captionsChanged = s.captionResync;
            s.captionResync = false;
            std::vector<int> captions = std::move(s.captionSelection);
            s.captionSelection.clear();
            generation = s.generation;
            MediaTime target = s.seekTarget;
            lock.unlock();
            if (audioIndex != audioRead_)
                readOnlyAudio(audioIndex);
            if (captionsChanged)
                decodeCaptionStreams(captions);
            seek(target);
            continue;
        }
        if (s.audioResync) {
            s.audioResync = false;
            // An end already marked stays marked for the pictures; the new sound gets its own.
            s.demuxEnded = false;
            MediaTime target = s.audioResyncTarget;
            lock.unlock();
            resyncAudio(target, audioIndex);
            continue;
        }
        if (s.captionResync) {
            s.captionResync = false;
            std::vector<int> wanted = std::move(s.captionSelection);
            s.captionSelection.clear();
            MediaTime target = s.captionResyncTarget;
            lock.unlock();
            if (decodeCaptionStreams(wanted)) {
                lock.lock();
                // The end is found again after the captions read again; the pictures and sound keep theirs.
                s.demuxEnded = false;
                lock.unlock();
                resyncCaptions(target);
            }
            continue;
        }
        lock.unlock();
        if (!packet)
            return;
        int rc = av_read_frame(format_.get(), packet.get());
        lock.lock();
        if (generation != s.generation || s.seekPending)
            continue;  // a seek arrived while reading; this packet belongs to the old position
        switch (avStatus(rc)) {
        case AvStatus::NeedsInput:
            continue;
        case AvStatus::Error:
            if (!s.quit)
                platformLog("mmstream: reading stopped (%s)\n", errorText(rc).c_str());
            [[fallthrough]];
        case AvStatus::End:
            // The data ends here, whatever length the headers promised: the movie ends here too.
            if (rc == AVERROR_EOF && format_->pb && avio_feof(format_->pb))
                s.fileEnd = s.readEnd;
            markEnd(generation);
            continue;
        case AvStatus::Ok:
            break;
        }
        const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (ts != AV_NOPTS_VALUE && packet->stream_index >= 0
            && static_cast<unsigned>(packet->stream_index) < format_->nb_streams)
            s.readEnd = std::max(s.readEnd,
                toMediaTime(ts + std::max<int64_t>(packet->duration, 0), format_->streams[packet->stream_index]->time_base)
                    - startOffset_);
        if (readTwice(*packet, s.audioIndex))
            continue;
        std::size_t size = queuedSize(*packet);
        if (packet->stream_index == videoIndex_ && videoIndex_ >= 0) {
            lastVideoTs_ = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
            s.queuedPacketBytes += size;
            s.video.packets.push_back({std::move(packet), generation});
            s.video.wake.notify_all();
        } else if (packet->stream_index == s.audioIndex && s.audioIndex >= 0) {
            lastAudioTs_ = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
            s.queuedPacketBytes += size;
            s.audio.packets.push_back({std::move(packet), generation});
            s.audio.wake.notify_all();
        } else if (decodesCaptionsOf(packet->stream_index)) {
            // Captions are few and small: decoded here, so they are ready as soon as they are read. Each
            // teletext page decoded has a decoder of its own.
            lastCaptionTs_ = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            lock.unlock();
            for (CaptionStreamDecoder& stream : captionDecoders_)
                if (stream.container == packet->stream_index)
                    decodeCaption(stream, *packet, generation);
        }
    }
}

// Lands on the key frame at or before target; the decoders drop what precedes it.
void FfmpegDemuxer::seek(MediaTime target)
{
    lastVideoTs_ = AV_NOPTS_VALUE;
    lastCaptionTs_ = AV_NOPTS_VALUE;
    lastAudioTs_ = AV_NOPTS_VALUE;
    videoRereads_ = false;
    captionRereads_ = false;
    audioRereads_ = false;
    captionCatchUp_ = false;
    audioFrom_ = MediaTime::min();
    videoEndQueued_ = false;
    audioEndQueued_ = false;
    seekFile(target);
}

void FfmpegDemuxer::resyncCaptions(MediaTime target)
{
    videoRereads_ = lastVideoTs_ != AV_NOPTS_VALUE;
    audioRereads_ = lastAudioTs_ != AV_NOPTS_VALUE;
    // Every caption stream is decoded from target on; the caller drops the captions it already holds.
    captionRereads_ = false;
    captionCatchUp_ = true;
    seekFile(target);
}

void FfmpegDemuxer::resyncAudio(MediaTime target, int audioIndex)
{
    readOnlyAudio(audioIndex);
    videoRereads_ = lastVideoTs_ != AV_NOPTS_VALUE;
    captionRereads_ = lastCaptionTs_ != AV_NOPTS_VALUE;
    // The new stream is read from its own start; its end is its own.
    lastAudioTs_ = AV_NOPTS_VALUE;
    audioRereads_ = false;
    audioEndQueued_ = false;
    // A little of the sound before the target primes the decoder.
    audioFrom_ = target - audioPreroll;
    seekFile(target);
}

bool FfmpegDemuxer::readTwice(const AVPacket& packet, int audioIndex)
{
    const int64_t ts = packet.dts != AV_NOPTS_VALUE ? packet.dts : packet.pts;
    if (packet.stream_index == videoIndex_ && videoRereads_) {
        if (ts != AV_NOPTS_VALUE && ts > lastVideoTs_)
            videoRereads_ = false;
        return videoRereads_;
    }
    if (captionRereads_ && decodesCaptionsOf(packet.stream_index)) {
        const int64_t pts = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
        if (pts != AV_NOPTS_VALUE && pts > lastCaptionTs_)
            captionRereads_ = false;
        return captionRereads_;
    }
    if (packet.stream_index == audioIndex && audioRereads_) {
        if (ts != AV_NOPTS_VALUE && ts > lastAudioTs_)
            audioRereads_ = false;
        return audioRereads_;
    }
    if (packet.stream_index == audioIndex && audioFrom_ != MediaTime::min() && ts != AV_NOPTS_VALUE) {
        const AVStream* st = format_->streams[packet.stream_index];
        if (toMediaTime(ts + std::max<int64_t>(packet.duration, 0), st->time_base) - startOffset_ < audioFrom_)
            return true;
        audioFrom_ = MediaTime::min();
    }
    return false;
}

void FfmpegDemuxer::seekFile(MediaTime target)
{
    // In the time base of the stream that leads the seek, rounded down: rounding up could land on a key
    // frame just after the target. With neither stream decoded (sound without a device), the
    // container's own default.
    int index = videoIndex_ >= 0 ? videoIndex_ : audioRead_;
    AVRational base = index >= 0 ? format_->streams[index]->time_base : AV_TIME_BASE_Q;
    int64_t ts = av_rescale_q_rnd((target + startOffset_).count(), mediaTimeBase, base, AV_ROUND_DOWN);
    int rc = avformat_seek_file(format_.get(), index, INT64_MIN, ts, ts, 0);
    if (rc < 0) {
        // No key frame at or before the target (a target before the first picture, or a file without
        // an index): take the nearest one after it.
        rc = avformat_seek_file(format_.get(), index, INT64_MIN, ts, INT64_MAX, 0);
        if (rc < 0)
            platformLog("mmstream: seek failed (%s)\n", errorText(rc).c_str());
    }
}

// Must be called with the mutex held. The decoders learn of the end from a null packet in their queues.
void FfmpegDemuxer::markEnd(uint64_t generation)
{
    shared_.demuxEnded = true;
    if (videoIndex_ >= 0 && !videoEndQueued_)
        shared_.video.packets.push_back({nullptr, generation});
    videoEndQueued_ = true;
    if (shared_.audioIndex >= 0 && !audioEndQueued_)
        shared_.audio.packets.push_back({nullptr, generation});
    audioEndQueued_ = shared_.audioIndex >= 0;
    shared_.video.wake.notify_all();
    shared_.audio.wake.notify_all();
}

}
