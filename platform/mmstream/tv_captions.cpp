#include "platform/mmstream/tv_captions.h"

#include "platform/kernel.h"
#include "platform/mmstream/ffmpeg_support.h"

#include <algorithm>

namespace platform {

namespace {

// The first pass reads this much of the video stream, and never more than maxScannedBytes of the file.
constexpr MediaTime scannedLength = std::chrono::seconds(5);
constexpr int64_t maxScannedBytes = 32 << 20;

CaptionClock clockOf(MediaTime t) { return std::chrono::duration_cast<CaptionClock>(t); }

}

bool isTvCaptionStream(int index)
{
    return (index > cea708StreamBase && index <= cea708StreamBase + Cea708Decoder::maxService)
        || (index > cea608StreamBase && index <= cea608StreamBase + 4);
}

std::string tvCaptionName(int index)
{
    if (!isTvCaptionStream(index))
        return {};
    if (index > cea708StreamBase)
        return "708-" + std::to_string(index - cea708StreamBase);
    return "608-CC" + std::to_string(index - cea608StreamBase);
}

void TvCaptions::picture(std::span<const uint8_t> ccData, MediaTime start, MediaTime end)
{
    sawData_ = sawData_ || !ccData.empty();
    line21Pairs_.clear();
    dtvPairs_.clear();
    splitCcData(ccData, line21Pairs_, dtvPairs_);
    if (!line21Pairs_.empty() || !dtvPairs_.empty()) {
        lastData_ = start;
    } else if (!shown_.empty() && start - lastData_ >= captionDataSilence) {
        platformLog("mmstream: TV caption data stopped at %lld ms; what was shown ends\n",
            static_cast<long long>(clockOf(lastData_).count()));
        endShown(start);
    }
    dtv_.decode(dtvPairs_, clockOf(start));
    for (const Line21Pair& pair : line21Pairs_)
        line21_.decode(pair.field, pair.data[0], pair.data[1]);
    for (int service : dtv_.takeChangedServices())
        screenChanged(cea708StreamBase + service, dtv_.screenOf(service), start);
    for (int channel : line21_.takeChangedChannels())
        screenChanged(cea608StreamBase + channel, line21_.screenOf(channel), start);
    lastEnd_ = end;
    // What is still shown reaches on past the pictures that come.
    for (auto& [key, shown] : shown_) {
        if (shown.reach - end < openCaptionReach / 2) {
            shown.reach = end + openCaptionReach;
            emit(key, shown, shown.reach);
        }
    }
}

void TvCaptions::codedPicture(std::vector<uint8_t> triplets, std::optional<MediaTime> start, MediaTime length,
    int reorderDepth)
{
    // A movie without caption data never pays for the decoders.
    sawData_ = sawData_ || !triplets.empty();
    if (!sawData_)
        return;
    if (!start) {
        if (!coded_.empty())
            coded_.back().triplets.insert(coded_.back().triplets.end(), triplets.begin(), triplets.end());
        return;
    }
    auto at = std::upper_bound(coded_.begin(), coded_.end(), *start,
        [](MediaTime t, const Coded& c) { return t < c.start; });
    coded_.insert(at, {*start, length, std::move(triplets)});
    while (coded_.size() > static_cast<size_t>(std::max(reorderDepth, 0)) + 1) {
        picture(coded_.front().triplets, coded_.front().start, coded_.front().start + coded_.front().length);
        coded_.erase(coded_.begin());
    }
}

void TvCaptions::flushCoded()
{
    for (const Coded& c : coded_)
        picture(c.triplets, c.start, c.start + c.length);
    coded_.clear();
}

void TvCaptions::screenChanged(int stream, const CaptionScreen& screen, MediaTime at)
{
    // Windows no longer shown end here.
    for (auto it = shown_.lower_bound({stream, -1}); it != shown_.end() && it->first.first == stream;) {
        const bool stillShown = std::any_of(screen.begin(), screen.end(),
            [&](const ShownWindow& w) { return w.window == it->first.second; });
        if (stillShown) {
            ++it;
            continue;
        }
        emit(it->first, it->second, at);
        it = shown_.erase(it);
    }
    for (const ShownWindow& w : screen) {
        const WindowKey key {stream, w.window};
        auto it = shown_.find(key);
        if (it != shown_.end() && it->second.text == w.text)
            continue;
        // Text that only grows (roll-up and paint-on captions, a word at a time) stays one caption.
        if (it != shown_.end() && w.text.starts_with(it->second.text)) {
            it->second.text = w.text;
            emit(key, it->second, it->second.reach);
            continue;
        }
        if (it != shown_.end())
            emit(key, it->second, at);
        Shown& shown = shown_[key];
        shown = {at, at + openCaptionReach, w.text};
        emit(key, shown, shown.reach);
    }
}

void TvCaptions::emit(const WindowKey& key, const Shown& shown, MediaTime end)
{
    if (end <= shown.since)
        return;
    CaptionText caption;
    caption.start = shown.since;
    caption.end = end;
    caption.text = shown.text;
    caption.stream = key.first;
    caption.window = key.second;
    decided_.push_back(std::move(caption));
}

void TvCaptions::breakOff()
{
    coded_.clear();
    endShown(lastEnd_);
}

void TvCaptions::endShown(MediaTime at)
{
    for (const auto& [key, shown] : shown_)
        emit(key, shown, at);
    shown_.clear();
    dtv_.reset();
    line21_.reset();
    dtv_.takeChangedServices();
    line21_.takeChangedChannels();
}

void TvCaptions::take(std::vector<CaptionText>& out, const std::vector<int>& selected)
{
    auto isSelected = [&](int stream) { return std::find(selected.begin(), selected.end(), stream) != selected.end(); };
    for (CaptionText& caption : decided_)
        if (isSelected(caption.stream))
            out.push_back(std::move(caption));
    decided_.clear();
    for (const auto& [key, shown] : shown_) {
        const bool wasSelected = std::find(selected_.begin(), selected_.end(), key.first) != selected_.end();
        if (isSelected(key.first) && !wasSelected)
            out.push_back({shown.since, shown.reach, shown.text, false, key.first, key.second});
    }
    selected_ = selected;
}

bool TvCaptions::streamsChanged()
{
    const size_t known = dtv_.servicesSeen().count() + line21_.channelsSeen().count();
    bool korean = false;
    for (int s = 1; s <= Cea708Decoder::maxService && !korean; ++s)
        korean = dtv_.sentKorean(s);
    const bool changed = known != knownStreams_ || korean != knownKorean_;
    knownStreams_ = known;
    knownKorean_ = korean;
    return changed;
}

std::vector<CaptionStreamInfo> TvCaptions::streams() const
{
    std::vector<CaptionStreamInfo> list;
    for (int s = 1; s <= Cea708Decoder::maxService; ++s) {
        if (!dtv_.servicesSeen()[static_cast<size_t>(s)])
            continue;
        CaptionStreamInfo info;
        info.index = cea708StreamBase + s;
        info.language = dtv_.sentKorean(s) ? "kor" : "";
        list.push_back(std::move(info));
    }
    for (int c = 1; c <= 4; ++c) {
        if (!line21_.channelsSeen()[static_cast<size_t>(c)])
            continue;
        CaptionStreamInfo info;
        info.index = cea608StreamBase + c;
        list.push_back(std::move(info));
    }
    return list;
}

std::optional<VideoCoding> captionCodingOf(int codecId)
{
    switch (codecId) {
    case AV_CODEC_ID_MPEG2VIDEO:
        return VideoCoding::Mpeg2;
    case AV_CODEC_ID_H264:
        return VideoCoding::H264;
    case AV_CODEC_ID_HEVC:
        return VideoCoding::Hevc;
    default:
        return std::nullopt;
    }
}

std::vector<CaptionStreamInfo> scanTvCaptions(const std::string& path, const AVFormatContext& format, int videoIndex)
{
    if (videoIndex < 0 || static_cast<unsigned>(videoIndex) >= format.nb_streams)
        return {};
    const AVStream& video = *format.streams[videoIndex];
    const std::optional<VideoCoding> known = captionCodingOf(video.codecpar->codec_id);
    if (!known)
        return {};
    const VideoCoding coding = *known;
    // A reader of its own, so the movie's reader starts where it stands; its header names the streams
    // as the movie's did, and the video stream is found again by its number and identifier.
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        return {};
    FormatContextHandle scan(raw);
    int index = -1;
    for (unsigned i = 0; i < scan->nb_streams; ++i) {
        const AVStream& st = *scan->streams[i];
        const bool same = st.id == video.id && st.codecpar->codec_id == video.codecpar->codec_id;
        if (same && (index < 0 || static_cast<int>(i) == videoIndex))
            index = static_cast<int>(i);
        scan->streams[i]->discard = AVDISCARD_ALL;
    }
    if (index < 0)
        return {};
    scan->streams[index]->discard = AVDISCARD_DEFAULT;
    const AVRational timeBase = scan->streams[index]->time_base;

    TvCaptions captions;
    PacketHandle packet(av_packet_alloc());
    std::optional<int64_t> first;
    int64_t bytes = 0;
    while (packet && av_read_frame(scan.get(), packet.get()) >= 0) {
        bytes += packet->size;
        const bool ours = packet->stream_index == index;
        const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (ours) {
            if (!first && pts != AV_NOPTS_VALUE)
                first = pts;
            std::vector<uint8_t> triplets;
            findCcData(coding, std::span<const uint8_t>(packet->data, static_cast<size_t>(packet->size)), triplets);
            std::optional<MediaTime> at;
            if (packet->pts != AV_NOPTS_VALUE)
                at = toMediaTime(packet->pts, timeBase);
            // Pictures come in decoding order: put back in presentation order over more than any coding
            // reorders.
            captions.codedPicture(std::move(triplets), at, MediaTime(0), 16);
        }
        av_packet_unref(packet.get());
        if (bytes > maxScannedBytes || (ours && first && pts != AV_NOPTS_VALUE && toMediaTime(pts - *first, timeBase) > scannedLength))
            break;
    }
    captions.flushCoded();
    std::vector<CaptionStreamInfo> found = captions.streams();
    if (!found.empty())
        platformLog("mmstream: %zu TV caption stream(s) found in the first seconds of the video\n", found.size());
    return found;
}

}
