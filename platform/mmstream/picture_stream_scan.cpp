#include "platform/mmstream/picture_stream_scan.h"

#include "platform/kernel.h"
#include "platform/mmstream/caption_decoder.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

namespace platform {

namespace {

// A reading that starts at a jump begins this far before it, for the caption shown then.
constexpr int64_t readBefore = 10000;
// A play this far ahead of the reading is caught up with by reading on rather than by a jump.
constexpr int64_t catchUp = 30000;
// Captions read and not taken yet stop the reading at this many bytes, until they are taken.
constexpr size_t mostWaitingBytes = 32u << 20;
constexpr int64_t streamEnd = INT64_MAX;

int64_t milliseconds(MediaTime t) { return std::chrono::duration_cast<std::chrono::milliseconds>(t).count(); }

// One caption stream of a movie opened on its own, every other stream left unread.
class StreamReading {
public:
    bool open(const std::string& path, int index, const std::atomic<bool>* stop, std::string& why)
    {
        routeLibraryLog();
        stop_ = stop;
        AVFormatContext* raw = avformat_alloc_context();
        if (!raw) {
            why = "no memory";
            return false;
        }
        if (stop)
            raw->interrupt_callback = { &StreamReading::interrupted, this };
        const int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
        if (rc < 0) {
            why = errorText(rc);
            return false;
        }
        format_.reset(raw);
        if (index < 0 || static_cast<unsigned>(index) >= raw->nb_streams
            || raw->streams[index]->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE) {
            why = "no caption stream " + std::to_string(index);
            return false;
        }
        for (unsigned i = 0; i < raw->nb_streams; ++i)
            raw->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        index_ = index;
        // The movie's times count from its start, as the player's own reading counts them.
        if (raw->start_time != AV_NOPTS_VALUE && raw->start_time > 0)
            startOffset_ = toMediaTime(raw->start_time, AV_TIME_BASE_Q);
        packet_.reset(av_packet_alloc());
        if (!packet_ || !decoder_.open(*raw->streams[index], startOffset_)) {
            why = "its decoder cannot start";
            return false;
        }
        return true;
    }

    // The stream's language tag, "" when untagged.
    std::string language() const
    {
        const AVDictionaryEntry* tag = av_dict_get(format_->streams[index_]->metadata, "language", nullptr, 0);
        return tag && tag->value ? tag->value : "";
    }

    // Goes to ms; the decoder starts over, as after any jump.
    void seek(int64_t ms)
    {
        const int64_t ts = av_rescale_q(ms, { 1, 1000 }, AV_TIME_BASE_Q) + milliseconds(startOffset_) * 1000;
        if (avformat_seek_file(format_.get(), -1, INT64_MIN, ts, ts, 0) < 0)
            avformat_seek_file(format_.get(), -1, INT64_MIN, ts, INT64_MAX, 0);
        decoder_.open(*format_->streams[index_], startOffset_);
    }

    // The next packet of the stream, its captions appended to pictures and its time (ms) in time; false
    // at the end of the file or when it cannot be read on.
    bool next(std::vector<CaptionPictureHandle>& pictures, int64_t& time)
    {
        for (;;) {
            if (av_read_frame(format_.get(), packet_.get()) < 0)
                return false;
            std::unique_ptr<AVPacket, void (*)(AVPacket*)> unref(packet_.get(), av_packet_unref);
            if (packet_->stream_index != index_)
                continue;
            const int64_t ts = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
            if (ts == AV_NOPTS_VALUE)
                continue;
            time = milliseconds(toMediaTime(ts, format_->streams[index_]->time_base) - startOffset_);
            std::vector<CaptionText> texts;
            decoder_.decode(*packet_, texts, pictures);
            return true;
        }
    }

private:
    static int interrupted(void* self)
    {
        const std::atomic<bool>* stop = static_cast<StreamReading*>(self)->stop_;
        return stop && stop->load() ? 1 : 0;
    }

    FormatContextHandle format_;
    PacketHandle packet_;
    CaptionDecoder decoder_;
    int index_ = -1;
    MediaTime startOffset_ { 0 };
    const std::atomic<bool>* stop_ = nullptr;
};

// The stretches of the movie read, in milliseconds, ordered and apart.
class Stretches {
public:
    void add(int64_t from, int64_t to)
    {
        if (to < from)
            return;
        std::vector<std::pair<int64_t, int64_t>> merged;
        for (const auto& s : read_) {
            if (s.second < from || s.first > to)
                merged.push_back(s);
            else {
                from = std::min(from, s.first);
                to = std::max(to, s.second);
            }
        }
        merged.emplace_back(from, to);
        std::sort(merged.begin(), merged.end());
        read_ = std::move(merged);
    }
    bool holds(int64_t t) const
    {
        return std::any_of(read_.begin(), read_.end(), [&](const auto& s) { return s.first <= t && t <= s.second; });
    }
    // The first stretch that starts after from and no later than to: where a reading from from that got
    // to to ran into what was read; none when it did not.
    const std::pair<int64_t, int64_t>* ranInto(int64_t from, int64_t to) const
    {
        for (const auto& s : read_)
            if (s.first > from && s.first <= to)
                return &s;
        return nullptr;
    }
    // The start of the first stretch not read; none when everything is.
    bool firstGap(int64_t& at) const
    {
        if (read_.empty() || read_.front().first > 0) {
            at = 0;
            return true;
        }
        if (read_.front().second == streamEnd)
            return false;
        at = read_.front().second;
        return true;
    }

private:
    std::vector<std::pair<int64_t, int64_t>> read_;
};

size_t bytesOf(const CaptionPictureHandle& picture)
{
    size_t n = sizeof(CaptionPicture);
    for (const CaptionBitmap& b : picture->bitmaps)
        n += b.bytes();
    return n;
}

}

struct PictureStreamScan::State {
    std::mutex mutex;
    std::condition_variable taken;
    std::atomic<bool> stop { false };
    uint32_t position = 0;
    bool finished = false;
    std::vector<CaptionPictureHandle> pictures;
    size_t waitingBytes = 0;
};

PictureStreamScan::PictureStreamScan(std::string path, int index, uint32_t position)
    : state_(std::make_shared<State>())
{
    state_->position = position;
    worker_ = std::thread([state = state_, path = std::move(path), index] {
        pthread_setname_np(pthread_self(), "caption scan");
        lowerThreadPriority();
        StreamReading reading;
        std::string why;
        auto finish = [&] {
            std::lock_guard lock(state->mutex);
            state->finished = true;
        };
        if (!reading.open(path, index, &state->stop, why)) {
            platformLog("Caption scan: cannot read caption stream %d of %s (%s).\n", index, path.c_str(), why.c_str());
            return finish();
        }
        Stretches read;
        int64_t from;
        {
            std::lock_guard lock(state->mutex);
            from = std::max<int64_t>(0, static_cast<int64_t>(state->position) - readBefore);
        }
        int64_t reached = from;
        reading.seek(from);
        std::vector<CaptionPictureHandle> found;
        while (!state->stop) {
            int64_t played;
            {
                std::unique_lock lock(state->mutex);
                state->taken.wait(lock, [&] { return state->stop || state->waitingBytes < mostWaitingBytes; });
                played = state->position;
            }
            if (!read.holds(played) && !(played >= from && played <= reached + catchUp)) {
                read.add(from, reached);
                from = std::max<int64_t>(0, played - readBefore);
                reached = from;
                reading.seek(from);
            }
            int64_t time = 0;
            if (!reading.next(found, time)) {
                if (state->stop)
                    break;
                read.add(from, streamEnd);
                if (!read.firstGap(from))
                    break;
                reached = from;
                reading.seek(from);
                continue;
            }
            reached = std::max(reached, time);
            if (const auto* stretch = read.ranInto(from, reached)) {
                // What lies ahead was read before: on from its end.
                const int64_t end = stretch->second;
                read.add(from, reached);
                if (end == streamEnd) {
                    if (!read.firstGap(from))
                        break;
                } else {
                    from = end;
                }
                reached = from;
                reading.seek(from);
            }
            if (found.empty())
                continue;
            std::lock_guard lock(state->mutex);
            for (CaptionPictureHandle& picture : found) {
                state->waitingBytes += bytesOf(picture);
                state->pictures.push_back(std::move(picture));
            }
            found.clear();
        }
        finish();
    });
}

PictureStreamScan::~PictureStreamScan()
{
    state_->stop = true;
    state_->taken.notify_all();
    worker_.join();
}

void PictureStreamScan::setPosition(uint32_t time)
{
    std::lock_guard lock(state_->mutex);
    state_->position = time;
}

void PictureStreamScan::takePictures(std::vector<CaptionPictureHandle>& pictures)
{
    {
        std::lock_guard lock(state_->mutex);
        for (CaptionPictureHandle& picture : state_->pictures)
            pictures.push_back(std::move(picture));
        state_->pictures.clear();
        state_->waitingBytes = 0;
    }
    state_->taken.notify_all();
}

bool PictureStreamScan::finished() const
{
    std::lock_guard lock(state_->mutex);
    return state_->finished;
}

PictureCaptionFile PictureStreamScan::readWhole(
    const std::string& path, int index, const std::function<void(CaptionPictureHandle)>& take)
{
    PictureCaptionFile out;
    StreamReading reading;
    if (!reading.open(path, index, nullptr, out.failure))
        return out;
    out.opened = true;
    out.language = reading.language();
    std::vector<CaptionPictureHandle> found;
    int64_t time = 0;
    while (reading.next(found, time)) {
        for (CaptionPictureHandle& picture : found)
            take(std::move(picture));
        found.clear();
    }
    return out;
}

}
