#include "platform/mmstream/movie_scan.h"

#include "platform/kernel.h"
#include "platform/mmstream/caption_decoder.h"
#include "platform/mmstream/ffmpeg_support.h"
#include "platform/voice_activity.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace platform {

namespace {

constexpr int detectorRate = VoiceActivityDetector::sampleRate;
constexpr int frameSamples = VoiceActivityDetector::frameSamples;
static_assert(frameSamples * 1000 / detectorRate == speechStep);
// Sound that arrives this far from where the sound before it ended starts over at its own time stamp
// (a gap, a damaged stretch), in samples of the detector.
constexpr int64_t driftLimit = detectorRate / 10;
// No movie runs longer: sound stamped later than this (a damaged time stamp) is not heard, so the speech
// never takes more than a few megabytes.
constexpr int64_t mostSpeechSteps = int64_t(48) * 3600 * 1000 / speechStep;
// Packets of sound whose decoding failed, logged at most.
constexpr int loggedSoundErrors = 3;

// The sound the detector hears, made from decoded frames: one channel (the centre one where the sound has
// it, for that is where films put their dialogue; else all of them mixed), brought down to the detector's
// rate by averaging each output sample's worth of input, which keeps the cost a few operations a sample.
// Each frame of the detector is heard in order; its place in the movie follows the frames' time stamps.
class SpeechListener {
public:
    explicit SpeechListener(std::vector<uint8_t>& speech)
        : speech_(speech)
    {
    }

    bool ready() const { return detector_.ready(); }

    void hear(const AVFrame& frame, MediaTime at)
    {
        if (frame.sample_rate <= 0 || frame.nb_samples <= 0)
            return;
        if (frame.sample_rate != inRate_) {
            inRate_ = frame.sample_rate;
            placed_ = false;
        }
        // Where this frame's first sample lies, in input samples from the start of the movie.
        const int64_t firstSample = av_rescale(at.count(), inRate_, 10'000'000);
        if (!placed_ || std::llabs(firstSample - nextInput_) * detectorRate / inRate_ > driftLimit) {
            nextInput_ = firstSample;
            nextOutput_ = floorDiv(firstSample * detectorRate, inRate_);
            blockEnd_ = floorDiv((nextOutput_ + 1) * inRate_, detectorRate);
            sum_ = 0.0f;
            count_ = 0;
            // The detector's frames start again at the next whole one.
            filled_ = 0;
            placed_ = true;
        }
        // The usual case (AAC, AC-3, Vorbis, Opus, MP3 without a centre channel): rows of floats, summed
        // straight into the output samples. Anything else is made one channel first.
        const float* rows[8];
        int channels = std::max(1, frame.ch_layout.nb_channels);
        const bool plainRows = frame.format == AV_SAMPLE_FMT_FLTP && channels <= 8 && centreOf(frame) < 0;
        if (plainRows) {
            for (int c = 0; c < channels; ++c)
                rows[c] = reinterpret_cast<const float*>(frame.extended_data[c]);
        } else {
            mono_.resize(static_cast<size_t>(frame.nb_samples));
            if (!mixDown(frame))
                return;
            rows[0] = mono_.data();
            channels = 1;
        }
        const int64_t n = frame.nb_samples;
        // Where an output sample's input ends: a whole number of samples on at the usual rates (48, 32, 16
        // kHz), else reckoned from the rates.
        const bool wholeRatio = inRate_ % detectorRate == 0;
        const int64_t ratio = inRate_ / detectorRate;
        for (int64_t i = 0; i < n;) {
            const int64_t take = std::min(blockEnd_ - nextInput_, n - i);
            float sum = 0.0f;
            for (int c = 0; c < channels; ++c) {
                const float* row = rows[c] + i;
                for (int64_t k = 0; k < take; ++k)
                    sum += row[k];
            }
            sum_ += sum;
            count_ += take * channels;
            i += take;
            nextInput_ += take;
            if (nextInput_ < blockEnd_)
                continue;
            output(count_ > 0 ? sum_ / static_cast<float>(count_) : 0.0f);
            ++nextOutput_;
            blockEnd_ = wholeRatio ? blockEnd_ + ratio : floorDiv((nextOutput_ + 1) * inRate_, detectorRate);
            sum_ = 0.0f;
            count_ = 0;
        }
    }

private:
    static int64_t floorDiv(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

    // Output sample nextOutput_: into the detector's frame, which starts at a whole frame of movie time.
    void output(float sample)
    {
        if (filled_ == 0) {
            if (nextOutput_ < 0 || nextOutput_ % frameSamples != 0)
                return;
            blockStart_ = nextOutput_;
        }
        block_[filled_++] = sample;
        if (filled_ < frameSamples)
            return;
        filled_ = 0;
        const int64_t step = blockStart_ / frameSamples;
        if (step >= mostSpeechSteps)
            return;
        const size_t index = static_cast<size_t>(step);
        if (speech_.size() <= index)
            speech_.resize(index + 1, 0);
        speech_[index] = detector_.speech(block_) ? 1 : 0;
    }

    // The centre channel of a frame of three or more channels, where films put their dialogue; -1 for none.
    static int centreOf(const AVFrame& frame)
    {
        if (frame.ch_layout.nb_channels < 3)
            return -1;
        return av_channel_layout_index_from_channel(&frame.ch_layout, AV_CHAN_FRONT_CENTER);
    }

    // The frame's sound as one channel in mono_; false for a sample format it does not know.
    bool mixDown(const AVFrame& frame)
    {
        const int channels = std::max(1, frame.ch_layout.nb_channels);
        const int centre = centreOf(frame);
        const auto format = static_cast<AVSampleFormat>(frame.format);
        const bool planar = av_sample_fmt_is_planar(format) != 0;
        const AVSampleFormat packed = av_get_packed_sample_fmt(format);
        const int n = frame.nb_samples;
        auto sampleOf = [&](int channel, int i) -> float {
            const uint8_t* data = planar ? frame.extended_data[channel] : frame.extended_data[0];
            const int at = planar ? i : i * channels + channel;
            switch (packed) {
            case AV_SAMPLE_FMT_U8:
                return (static_cast<float>(data[at]) - 128.0f) / 128.0f;
            case AV_SAMPLE_FMT_S16:
                return static_cast<float>(reinterpret_cast<const int16_t*>(data)[at]) / 32768.0f;
            case AV_SAMPLE_FMT_S32:
                return static_cast<float>(reinterpret_cast<const int32_t*>(data)[at]) / 2147483648.0f;
            case AV_SAMPLE_FMT_FLT:
                return reinterpret_cast<const float*>(data)[at];
            case AV_SAMPLE_FMT_DBL:
                return static_cast<float>(reinterpret_cast<const double*>(data)[at]);
            default:
                return 0.0f;
            }
        };
        if (packed != AV_SAMPLE_FMT_U8 && packed != AV_SAMPLE_FMT_S16 && packed != AV_SAMPLE_FMT_S32
            && packed != AV_SAMPLE_FMT_FLT && packed != AV_SAMPLE_FMT_DBL)
            return false;
        if (centre >= 0) {
            for (int i = 0; i < n; ++i)
                mono_[static_cast<size_t>(i)] = sampleOf(centre, i);
            return true;
        }
        for (int i = 0; i < n; ++i) {
            float sum = 0.0f;
            for (int c = 0; c < channels; ++c)
                sum += sampleOf(c, i);
            mono_[static_cast<size_t>(i)] = sum / static_cast<float>(channels);
        }
        return true;
    }

    std::vector<uint8_t>& speech_;
    VoiceActivityDetector detector_;
    int inRate_ = 0;
    bool placed_ = false;
    // The next input sample and the output sample it goes into, which ends before input blockEnd_.
    int64_t nextInput_ = 0;
    int64_t nextOutput_ = 0;
    int64_t blockEnd_ = 0;
    float sum_ = 0.0f;
    int64_t count_ = 0;
    std::vector<float> mono_;
    float block_[frameSamples] = {};
    int filled_ = 0;
    int64_t blockStart_ = 0;
};

int interruptRead(void* flag) { return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0; }

// Where the movie's streams start: the times the scan gives count from there.
MediaTime startOffsetOf(const AVFormatContext& format)
{
    return format.start_time != AV_NOPTS_VALUE && format.start_time > 0 ? toMediaTime(format.start_time, AV_TIME_BASE_Q)
                                                                        : MediaTime(0);
}

// The containers whose index lists text captions one by one: Matroska's cue points (the usual muxers
// write one for every caption block) and the sample tables of the MP4 family (every sample of every
// track). Other containers index the pictures at most.
enum class CaptionIndex { None, Cues, Samples };

CaptionIndex captionIndexOf(const AVFormatContext& format, const AVStream& stream)
{
    const char* name = format.iformat ? format.iformat->name : "";
    const AVCodecID codec = stream.codecpar->codec_id;
    if (std::strncmp(name, "matroska", 8) == 0)
        return codec == AV_CODEC_ID_SUBRIP || codec == AV_CODEC_ID_ASS || codec == AV_CODEC_ID_SSA
                || codec == AV_CODEC_ID_WEBVTT || codec == AV_CODEC_ID_TEXT
            ? CaptionIndex::Cues
            : CaptionIndex::None;
    if (std::strncmp(name, "mov,", 4) == 0)
        return codec == AV_CODEC_ID_MOV_TEXT ? CaptionIndex::Samples : CaptionIndex::None;
    return CaptionIndex::None;
}

// Matroska's statistics tags: a stream's packet count (NUMBER_OF_FRAMES, written by mkvmerge) and the
// end of its last packet (DURATION, "HH:MM:SS.nnnnnnnnn"; written by libavformat). -1 when not told.
int64_t packetsTold(const AVStream& stream)
{
    const AVDictionaryEntry* e = av_dict_get(stream.metadata, "NUMBER_OF_FRAMES", nullptr, 0);
    char* end = nullptr;
    const long long n = e ? std::strtoll(e->value, &end, 10) : -1;
    return e && end != e->value && *end == '\0' && n >= 0 ? n : -1;
}

std::optional<MediaTime> durationTold(const AVStream& stream)
{
    const AVDictionaryEntry* e = av_dict_get(stream.metadata, "DURATION", nullptr, 0);
    unsigned hours = 0;
    unsigned minutes = 0;
    double seconds = 0;
    if (!e || std::sscanf(e->value, "%u:%u:%lf", &hours, &minutes, &seconds) != 3 || minutes >= 60 || seconds < 0
        || seconds >= 60)
        return std::nullopt;
    return std::chrono::hours(hours) + std::chrono::minutes(minutes)
        + MediaTime(static_cast<int64_t>(std::llround(seconds * 1e7)));
}

// What the index reading may read: the Cues of a long movie take a few hundred kilobytes, so a seek that
// reads on (a damaged index sends the demuxer through the clusters) is cut short at the limit.
struct IndexReading {
    const std::atomic<bool>* cancelled;
    const AVFormatContext* format;
    int64_t limit = INT64_MAX;
};

int interruptIndexRead(void* reading)
{
    const auto* r = static_cast<const IndexReading*>(reading);
    return r->cancelled->load() || (r->format->pb && r->format->pb->bytes_read > r->limit) ? 1 : 0;
}

constexpr int64_t cueBytes = int64_t(16) << 20;

// The captions of one stream from its index, or why the index will not do. The index is usable when it
// holds two entries or more in order, each within the file and the movie's length, and it lists the
// whole stream: a sample table always does; cue points when they number about the packets the file tells
// (simultaneous captions share a cue point), or, told no count, when the last lies within a minute of the
// end the file tells for the stream. Starts are exact; a sample lasts until the next (an empty one
// clears the screen), a cue point's caption by indexedCaptionLength.
const char* indexedCaptions(AVStream& stream, CaptionIndex kind, MediaTime startOffset, MediaTime duration,
    int64_t fileSize, std::vector<CaptionText>& captions)
{
    const int n = avformat_index_get_entries_count(&stream);
    if (n < 2)
        return "fewer than two entries";
    const MediaTime slack = std::chrono::seconds(1);
    std::vector<std::pair<MediaTime, bool>> entries; // start, and whether it shows a caption
    int64_t last = INT64_MIN;
    for (int k = 0; k < n; ++k) {
        const AVIndexEntry* e = avformat_index_get_entry(&stream, k);
        if (!e || e->timestamp == AV_NOPTS_VALUE)
            return "an entry without a time";
        if (e->timestamp < last)
            return "entries out of order";
        last = e->timestamp;
        if (e->pos < 0 || e->pos >= fileSize)
            return "an entry past the end of the file";
        const MediaTime at = toMediaTime(e->timestamp, stream.time_base) - startOffset;
        if (duration.count() > 0 && at > duration + slack)
            return "an entry past the end of the movie";
        // An MP4 timed-text sample of two bytes holds an empty text: it ends the caption before it.
        entries.emplace_back(at, kind == CaptionIndex::Cues || e->size > 2);
    }
    if (kind == CaptionIndex::Cues) {
        const int64_t told = packetsTold(stream);
        if (told >= 0 && (n > told || int64_t(n) * 4 < told * 3))
            return "fewer entries than the stream has captions";
        if (told < 0) {
            const std::optional<MediaTime> end = durationTold(stream);
            if (!end)
                return "no count or end of the stream to check it against";
            const MediaTime lastStart = entries.back().first + startOffset;
            if (lastStart > *end + slack || lastStart + std::chrono::minutes(1) < *end)
                return "its last entry is not near the end of the stream";
        }
    }
    const size_t before = captions.size();
    for (size_t k = 0; k < entries.size(); ++k) {
        if (!entries[k].second)
            continue;
        const MediaTime start = entries[k].first;
        MediaTime end = start + indexedCaptionLength;
        if (k + 1 < entries.size() && entries[k + 1].first > start)
            end = kind == CaptionIndex::Samples ? entries[k + 1].first : std::min(end, entries[k + 1].first);
        if (end > start && end > MediaTime(0))
            captions.push_back({ start, end, std::string(), false, stream.index });
    }
    if (captions.size() - before < 2)
        return "fewer than two captions";
    return nullptr;
}

// The captions of the streams asked for from the container's index alone, with their own opening of the
// file; false (result untouched, the reason logged) where any of them has no usable index.
bool captionsFromIndex(
    const MovieScanRequest& request, const std::atomic<bool>& cancelled, int64_t fileSize, MovieScanResult& result)
{
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return false;
    IndexReading reading { &cancelled, raw };
    raw->interrupt_callback = { &interruptIndexRead, &reading };
    if (avformat_open_input(&raw, request.path.c_str(), nullptr, nullptr) < 0)
        return false;
    FormatContextHandle format(raw);
    const int streams = static_cast<int>(raw->nb_streams);
    bool cues = false;
    for (int index : request.captionStreams) {
        const CaptionIndex kind
            = index >= 0 && index < streams ? captionIndexOf(*raw, *raw->streams[index]) : CaptionIndex::None;
        if (kind == CaptionIndex::None) {
            platformLog("movie scan: caption stream %d of %s is not indexed caption by caption; the file is read "
                        "whole\n",
                index, request.path.c_str());
            return false;
        }
        cues = cues || kind == CaptionIndex::Cues;
    }
    avformat_find_stream_info(raw, nullptr);
    if (cancelled.load())
        return false;
    const MediaTime startOffset = startOffsetOf(*raw);
    MovieScanResult found;
    if (raw->duration != AV_NOPTS_VALUE && raw->duration > 0)
        found.duration = toMediaTime(raw->duration, AV_TIME_BASE_Q);
    if (cues) {
        // Matroska reads its cue points at the first seek.
        reading.limit = (raw->pb ? raw->pb->bytes_read : 0) + cueBytes;
        av_seek_frame(raw, -1, 0, AVSEEK_FLAG_BACKWARD);
        if (cancelled.load())
            return false;
    }
    for (int index : request.captionStreams) {
        AVStream& stream = *raw->streams[index];
        if (const char* why = indexedCaptions(
                stream, captionIndexOf(*raw, stream), startOffset, found.duration, fileSize, found.captions)) {
            platformLog("movie scan: caption stream %d of %s has no usable index (%s); the file is read whole\n", index,
                request.path.c_str(), why);
            return false;
        }
    }
    platformLog(
        "movie scan: %zu caption times of %s taken from its index\n", found.captions.size(), request.path.c_str());
    found.fromIndex = true;
    result = std::move(found);
    return true;
}

// The audio stream a movie plays unless told otherwise: the first it flags default, else its first; -1
// for none.
int defaultAudioOf(const AVFormatContext& format)
{
    int chosen = -1;
    for (int i = 0; i < static_cast<int>(format.nb_streams); ++i) {
        const AVStream* st = format.streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        if (chosen < 0 || (st->disposition & AV_DISPOSITION_DEFAULT)) {
            chosen = i;
            if (st->disposition & AV_DISPOSITION_DEFAULT)
                break;
        }
    }
    return chosen;
}

// A picture caption lasts until the next of its stream when it tells no end, or until its stream
// cleared the screen, 10 s at most.
void endOpenPictureCaptions(std::vector<CaptionText>& captions, const std::vector<std::pair<int, MediaTime>>& clears)
{
    for (size_t i = 0; i < captions.size(); ++i) {
        if (captions[i].end != MediaTime::max())
            continue;
        MediaTime next = captions[i].start + std::chrono::seconds(10);
        for (size_t j = i + 1; j < captions.size(); ++j) {
            if (captions[j].stream == captions[i].stream && captions[j].start > captions[i].start) {
                next = std::min(next, captions[j].start);
                break;
            }
        }
        for (const auto& [stream, at] : clears) {
            if (stream == captions[i].stream && at > captions[i].start)
                next = std::min(next, at);
        }
        captions[i].end = next;
    }
}

}

MovieScanResult scanMovie(
    const MovieScanRequest& wanted, const std::atomic<bool>& cancelled, const std::function<void(int)>& progress)
{
    MovieScanResult result;
    routeLibraryLog();
    // Only a regular file: a pipe or a device could be read forever.
    struct stat info;
    if (::stat(wanted.path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        result.outcome = ScanOutcome::CannotOpen;
        return result;
    }
    if (wanted.captionTimesOnly && wanted.audioStream < 0 && !wanted.captionStreams.empty()) {
        if (captionsFromIndex(wanted, cancelled, static_cast<int64_t>(info.st_size), result))
            return result;
        if (cancelled.load()) {
            result.outcome = ScanOutcome::Cancelled;
            return result;
        }
    }
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) {
        result.outcome = ScanOutcome::CannotOpen;
        return result;
    }
    raw->interrupt_callback = { &interruptRead, const_cast<std::atomic<bool>*>(&cancelled) };
    int rc = avformat_open_input(&raw, wanted.path.c_str(), nullptr, nullptr);
    if (rc < 0) {
        platformLog("movie scan: cannot open %s (%s)\n", wanted.path.c_str(), errorText(rc).c_str());
        result.outcome = ScanOutcome::CannotOpen;
        return result;
    }
    FormatContextHandle format(raw);
    avformat_find_stream_info(raw, nullptr);
    const MediaTime startOffset = startOffsetOf(*raw);
    if (raw->duration != AV_NOPTS_VALUE && raw->duration > 0)
        result.duration = toMediaTime(raw->duration, AV_TIME_BASE_Q);

    const int streams = static_cast<int>(raw->nb_streams);
    MovieScanRequest asked = wanted;
    if (asked.audioStream == defaultAudioStream) {
        asked.audioStream = defaultAudioOf(*raw);
        if (asked.audioStream < 0) {
            result.outcome = ScanOutcome::NoSound;
            return result;
        }
    }
    const MovieScanRequest& request = asked;
    // Only the streams asked for are read; the demuxer skips the others' packets.
    auto read = [&](int i) {
        return i == request.audioStream
            || std::find(request.captionStreams.begin(), request.captionStreams.end(), i)
            != request.captionStreams.end();
    };
    for (int i = 0; i < streams; ++i)
        raw->streams[i]->discard = read(i) ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    CodecContextHandle sound;
    AVRational soundBase { 1, 1 };
    SpeechListener listener(result.speech);
    if (request.audioStream >= 0) {
        AVStream* st = request.audioStream < streams ? raw->streams[request.audioStream] : nullptr;
        const AVCodec* decoder = st && st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO
            ? avcodec_find_decoder(st->codecpar->codec_id)
            : nullptr;
        sound.reset(decoder ? avcodec_alloc_context3(decoder) : nullptr);
        if (!sound || avcodec_parameters_to_context(sound.get(), st->codecpar) < 0 || !listener.ready()) {
            result.outcome = ScanOutcome::NoSound;
            return result;
        }
        sound->pkt_timebase = st->time_base;
        // One thread: the scan must leave the rest of the machine to the movie that plays.
        sound->thread_count = 1;
        rc = avcodec_open2(sound.get(), decoder, nullptr);
        if (rc < 0) {
            platformLog("movie scan: the sound's decoder cannot start (%s)\n", errorText(rc).c_str());
            result.outcome = ScanOutcome::NoSound;
            return result;
        }
        soundBase = st->time_base;
    }
    struct Captions {
        int index;
        CaptionDecoder decoder;
    };
    std::vector<Captions> captionDecoders;
    for (int index : request.captionStreams) {
        if (index < 0 || index >= streams)
            continue;
        Captions c { index, {} };
        if (c.decoder.open(*raw->streams[index], startOffset))
            captionDecoders.push_back(std::move(c));
    }

    PacketHandle packet(av_packet_alloc());
    FrameHandle frame(av_frame_alloc());
    if (!packet || !frame) {
        result.outcome = ScanOutcome::CannotOpen;
        return result;
    }
    std::vector<CaptionPictureHandle> pictures;
    // Where a picture stream cleared the screen: the end of a picture caption that tells none.
    std::vector<std::pair<int, MediaTime>> clears;
    int shown = -1;
    auto takeFrames = [&]() {
        while (avcodec_receive_frame(sound.get(), frame.get()) >= 0) {
            int64_t ts = frame->best_effort_timestamp;
            if (ts == AV_NOPTS_VALUE)
                ts = frame->pts;
            if (ts != AV_NOPTS_VALUE) {
                const MediaTime at = toMediaTime(ts, soundBase) - startOffset;
                listener.hear(*frame, at);
                const MediaTime end = at
                    + MediaTime(static_cast<int64_t>(frame->nb_samples) * 10'000'000 / std::max(1, frame->sample_rate));
                result.soundRead = std::max(result.soundRead, end);
            }
            av_frame_unref(frame.get());
        }
    };
    for (;;) {
        if (cancelled.load()) {
            result.outcome = ScanOutcome::Cancelled;
            return result;
        }
        rc = av_read_frame(raw, packet.get());
        if (rc < 0) {
            if (avStatus(rc) != AvStatus::End && !(raw->pb && avio_feof(raw->pb))) {
                platformLog("movie scan: reading %s stopped (%s)\n", request.path.c_str(), errorText(rc).c_str());
                result.outcome = cancelled.load() ? ScanOutcome::Cancelled : ScanOutcome::ReadFailed;
            }
            break;
        }
        const int index = packet->stream_index;
        if (index == request.audioStream && sound) {
            rc = avcodec_send_packet(sound.get(), packet.get());
            if (rc < 0 && avStatus(rc) == AvStatus::Error && result.soundErrors++ < loggedSoundErrors)
                platformLog("movie scan: a packet of sound cannot be decoded (%s)\n", errorText(rc).c_str());
            takeFrames();
        } else {
            for (Captions& c : captionDecoders) {
                if (c.index != index)
                    continue;
                const size_t before = result.captions.size();
                c.decoder.decode(*packet, result.captions, pictures);
                for (size_t i = before; i < result.captions.size(); ++i)
                    result.captions[i].stream = index;
                for (const CaptionPictureHandle& p : pictures) {
                    if (p->bitmaps.empty()) {
                        clears.emplace_back(index, MediaTime(p->start.count()));
                        continue;
                    }
                    const MediaTime end
                        = p->end == CaptionPicture::unbounded ? MediaTime::max() : MediaTime(p->end.count());
                    result.captions.push_back({ MediaTime(p->start.count()), end, std::string(), false, index });
                }
                pictures.clear();
            }
        }
        if (progress && result.duration.count() > 0 && packet->pts != AV_NOPTS_VALUE) {
            const MediaTime at = toMediaTime(packet->pts, raw->streams[index]->time_base) - startOffset;
            const int share = static_cast<int>(std::clamp<int64_t>(at.count() * 100 / result.duration.count(), 0, 100));
            if (share > shown) {
                shown = share;
                progress(share);
            }
        }
        av_packet_unref(packet.get());
    }
    if (sound) {
        avcodec_send_packet(sound.get(), nullptr);
        takeFrames();
    }
    endOpenPictureCaptions(result.captions, clears);
    return result;
}

MovieScan::MovieScan(MovieScanRequest request, Finish finish, std::function<void()> wake)
    : worker_(&MovieScan::run, this, std::move(request), std::move(finish), std::move(wake))
{
}

MovieScan::~MovieScan()
{
    cancel();
    if (worker_.joinable())
        worker_.join();
}

void MovieScan::run(MovieScanRequest request, Finish finish, std::function<void()> wake)
{
    // The lowest share of the processor: the movie's own decoding and drawing always come first.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19);
    auto moved = [&](int share) {
        const int scaled = share * scanShare / 100;
        if (scaled != progress_.exchange(scaled) && wake)
            wake();
    };
    // A request of no file reads nothing: the finish has all it needs.
    if (!request.path.empty())
        result_ = scanMovie(request, cancelled_, moved);
    if (finish)
        finish(result_, cancelled_);
    progress_.store(100);
    finished_.store(true, std::memory_order_release);
    if (wake)
        wake();
}

}
