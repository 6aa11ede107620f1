#include "platform/caption_text_reader.h"

#include "platform/caption_text_cache.h"
#include "platform/caption_text_preparation.h"
#include "platform/kernel.h"
#include "platform/text_recognition.h"
#include "platform/user_folders.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <pthread.h>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

struct TrackState {
    std::string languages;
    uint32_t position = 0;
    std::multimap<uint32_t, CaptionPictureHandle> queued;
    std::vector<ReadCaptionText> done;
    std::string failure;
};

// Where a caption comes in the order of reading of a track played at position: the next two minutes
// (and the caption shown) first, nearest first; then the rest of the track on from there; then the
// captions before, from the start. Smaller comes first.
std::tuple<int, int64_t> rankOf(uint32_t start, uint32_t position)
{
    const int64_t from = static_cast<int64_t>(position) - CaptionTextReader::firstSpanBefore;
    const int64_t to = static_cast<int64_t>(position) + CaptionTextReader::firstSpan;
    if (start >= from && start <= to)
        return { 0, start - from };
    if (start > to)
        return { 1, start - from };
    return { 2, start };
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}

struct CaptionReadingTrack::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::map<uint32_t, TrackState> tracks;
    // Languages whose data could not be loaded, and why.
    std::map<std::string, std::string> failures;
    uint32_t nextId = 1;
    bool stopping = false;
    // The track of the caption being read (0: none), and whether that reading is to be given up.
    uint32_t reading = 0;
    std::atomic<bool> giveUp { false };
    std::string cacheFile;

    bool anyQueued() const
    {
        return std::any_of(tracks.begin(), tracks.end(), [](const auto& t) { return !t.second.queued.empty(); });
    }
};

std::string tidyReadText(const std::string& text)
{
    std::string out;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line;
        for (size_t i = at; i < end; ++i) {
            const char c = isBlank(text[i]) ? ' ' : text[i];
            if (c == ' ' && (line.empty() || line.back() == ' '))
                continue;
            line += c;
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        // The reader takes a capital I standing alone ("I", "I'm") for a bar now and then.
        for (size_t i = 0; i < line.size(); ++i)
            if (line[i] == '|' && (i == 0 || line[i - 1] == ' ')
                && (i + 1 == line.size() || line[i + 1] == ' ' || line[i + 1] == '\''))
                line[i] = 'I';
        if (!line.empty())
            out += (out.empty() ? "" : "\n") + line;
        at = end + 1;
    }
    return out;
}

CaptionReadingTrack::CaptionReadingTrack(std::shared_ptr<Shared> shared, uint32_t id)
    : shared_(std::move(shared))
    , id_(id)
{
}

CaptionReadingTrack::~CaptionReadingTrack()
{
    std::lock_guard lock(shared_->mutex);
    shared_->tracks.erase(id_);
    if (shared_->reading == id_)
        shared_->giveUp = true;
    shared_->idle.notify_all();
}

void CaptionReadingTrack::submit(std::vector<std::pair<uint32_t, CaptionPictureHandle>> captions)
{
    std::lock_guard lock(shared_->mutex);
    auto track = shared_->tracks.find(id_);
    if (track == shared_->tracks.end() || !track->second.failure.empty())
        return;
    for (auto& [start, picture] : captions)
        if (picture)
            track->second.queued.emplace(start, std::move(picture));
    shared_->wake.notify_one();
}

void CaptionReadingTrack::setPosition(uint32_t time)
{
    std::lock_guard lock(shared_->mutex);
    auto track = shared_->tracks.find(id_);
    if (track != shared_->tracks.end())
        track->second.position = time;
}

std::vector<ReadCaptionText> CaptionReadingTrack::takeTexts()
{
    std::lock_guard lock(shared_->mutex);
    auto track = shared_->tracks.find(id_);
    if (track == shared_->tracks.end())
        return {};
    return std::exchange(track->second.done, {});
}

bool CaptionReadingTrack::unreadable(std::string* why) const
{
    std::lock_guard lock(shared_->mutex);
    auto track = shared_->tracks.find(id_);
    if (track == shared_->tracks.end() || track->second.failure.empty())
        return false;
    if (why)
        *why = track->second.failure;
    return true;
}

size_t CaptionReadingTrack::waiting() const
{
    std::lock_guard lock(shared_->mutex);
    auto track = shared_->tracks.find(id_);
    return track == shared_->tracks.end() ? 0 : track->second.queued.size() + (shared_->reading == id_ ? 1 : 0);
}

CaptionTextReader::CaptionTextReader(std::string cacheFile)
    : shared_(std::make_shared<CaptionReadingTrack::Shared>())
{
    shared_->cacheFile = std::move(cacheFile);
    worker_ = std::thread([this] { run(); });
}

CaptionTextReader::~CaptionTextReader()
{
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
        shared_->giveUp = true;
    }
    shared_->wake.notify_all();
    worker_.join();
}

std::unique_ptr<CaptionReadingTrack> CaptionTextReader::addTrack(const std::string& languageTag)
{
    std::lock_guard lock(shared_->mutex);
    const uint32_t id = shared_->nextId++;
    TrackState& track = shared_->tracks[id];
    track.languages = readerLanguages(languageTag);
    auto failed = shared_->failures.find(track.languages);
    if (failed != shared_->failures.end())
        track.failure = failed->second;
    // The worker loads the track's language data now, before its first caption comes.
    shared_->wake.notify_one();
    return std::unique_ptr<CaptionReadingTrack>(new CaptionReadingTrack(shared_, id));
}

void CaptionTextReader::waitIdle()
{
    std::unique_lock lock(shared_->mutex);
    shared_->idle.wait(lock, [&] { return shared_->stopping || (!shared_->anyQueued() && shared_->reading == 0); });
}

std::string CaptionTextReader::defaultCacheFile() { return stateFolder() + "/captiontext"; }

void CaptionTextReader::run()
{
    pthread_setname_np(pthread_self(), "caption reader");
    // Reading is background work: the picture and the sound come first on every core.
    lowerThreadPriority();
    CaptionReadingTrack::Shared& s = *shared_;
    CaptionTextCache cache(s.cacheFile);
    std::map<std::string, std::unique_ptr<TextRecognizer>> recognizers;

    std::unique_lock lock(s.mutex);
    for (;;) {
        if (s.stopping)
            return;
        // A language some track needs and nothing loaded yet is loaded first.
        std::string load;
        for (const auto& [id, track] : s.tracks)
            if (track.failure.empty() && !recognizers.count(track.languages)) {
                load = track.languages;
                break;
            }
        if (!load.empty()) {
            lock.unlock();
            auto recognizer = std::make_unique<TextRecognizer>(load);
            if (!recognizer->isReady())
                platformLog("Caption reader: %s; picture captions in it stay pictures.\n", recognizer->failure().c_str());
            else
                platformLog("Caption reader: ready for %s.\n", load.c_str());
            lock.lock();
            if (!recognizer->isReady()) {
                s.failures[load] = recognizer->failure();
                for (auto& [id, track] : s.tracks)
                    if (track.languages == load) {
                        track.failure = recognizer->failure();
                        track.queued.clear();
                    }
                s.idle.notify_all();
            }
            recognizers[load] = std::move(recognizer);
            continue;
        }

        // The caption that comes first in its track's order, of all tracks.
        uint32_t trackId = 0;
        std::multimap<uint32_t, CaptionPictureHandle>::iterator job;
        std::tuple<int, int64_t> best;
        for (auto& [id, track] : s.tracks) {
            if (track.queued.empty())
                continue;
            const uint32_t from = track.position > firstSpanBefore ? track.position - firstSpanBefore : 0;
            auto next = track.queued.lower_bound(from);
            if (next == track.queued.end())
                next = track.queued.begin();
            const auto rank = rankOf(next->first, track.position);
            if (trackId == 0 || rank < best) {
                trackId = id;
                job = next;
                best = rank;
            }
        }
        if (trackId == 0) {
            s.idle.notify_all();
            s.wake.wait(lock);
            continue;
        }
        TrackState& track = s.tracks[trackId];
        const uint32_t start = job->first;
        CaptionPictureHandle picture = std::move(job->second);
        track.queued.erase(job);
        const std::string languages = track.languages;
        TextRecognizer& recognizer = *recognizers[languages];
        s.reading = trackId;
        s.giveUp = false;
        lock.unlock();

        const CaptionTextKey key = captionTextKey(*picture, languages);
        std::string text;
        bool read = true;
        if (const std::string* known = cache.find(key)) {
            text = *known;
        } else {
            std::string raw;
            const std::function<bool()> givenUp = [&] { return s.giveUp.load(std::memory_order_relaxed); };
            for (const GreyPicture& block : prepareForReading(*picture)) {
                std::string part = recognizer.read(block, givenUp);
                if (s.giveUp) {
                    read = false;
                    break;
                }
                raw += part + "\n";
            }
            text = tidyReadText(raw);
            if (read)
                cache.add(key, text);
        }

        lock.lock();
        s.reading = 0;
        auto owner = s.tracks.find(trackId);
        if (read && owner != s.tracks.end())
            owner->second.done.push_back({ start, std::move(picture), std::move(text) });
    }
}

}
