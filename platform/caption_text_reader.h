// Picture captions read as text on one worker thread of low priority, so that the picture and the sound
// never wait for it. Each track is read in the order its viewer needs it: the captions of the next two
// minutes from where it is played first, then the rest of the track from there on, then what lies
// before. A text read once is kept in the cache (caption_text_cache.h) and never read again.
#pragma once

#include "platform/mmstream/caption_pictures.h"

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

// One caption read.
struct ReadCaptionText {
    uint32_t start = 0; // as it was submitted
    CaptionPictureHandle picture;
    std::string text; // UTF-8, lines joined by line feeds; "" when the picture holds no text
};

// The text of the reader's blocks tidied: blanks at the ends of lines and runs of blanks inside them
// made one, empty lines dropped, and a bar standing as a word read as the capital I it nearly always is.
std::string tidyReadText(const std::string& text);

// One track of picture captions to read (a caption file, a caption stream); made by
// CaptionTextReader::addTrack. When it goes, what of it was not read yet is dropped, and a reading of it in
// progress is given up.
class CaptionReadingTrack {
public:
    ~CaptionReadingTrack();
    CaptionReadingTrack(const CaptionReadingTrack&) = delete;
    CaptionReadingTrack& operator=(const CaptionReadingTrack&) = delete;

    // Queues captions for reading, each with its start (milliseconds of the track's own time).
    void submit(std::vector<std::pair<uint32_t, CaptionPictureHandle>> captions);
    // Where the track is played now, in its own time: the order of reading follows it.
    void setPosition(uint32_t time);
    // The texts read since the last call.
    std::vector<ReadCaptionText> takeTexts();
    // Whether the reader's data for the track's language could not be loaded (then nothing of it is read),
    // and why.
    bool unreadable(std::string* why = nullptr) const;
    // How many captions submitted are not read yet.
    size_t waiting() const;

    struct Shared;

private:
    friend class CaptionTextReader;
    CaptionReadingTrack(std::shared_ptr<Shared> shared, uint32_t id);
    std::shared_ptr<Shared> shared_;
    uint32_t id_;
};

class CaptionTextReader {
public:
    // Texts read are kept in cacheFile ("" keeps them in memory only). The worker starts at once, at
    // the lowest priority, and loads the reader's data for a language when a track first needs it.
    explicit CaptionTextReader(std::string cacheFile);
    // Ends the worker, giving up a reading in progress.
    ~CaptionTextReader();
    CaptionTextReader(const CaptionTextReader&) = delete;
    CaptionTextReader& operator=(const CaptionTextReader&) = delete;

    // A track whose captions are in the language of languageTag (a stream's tag, "" for none).
    std::unique_ptr<CaptionReadingTrack> addTrack(const std::string& languageTag);
    // Waits until every caption submitted is read or dropped.
    void waitIdle();

    // Where the player keeps the texts read: captiontext in its state folder.
    static std::string defaultCacheFile();
    // How far past where it is played a track is read first, and how far before it (the caption shown
    // may have started a little earlier).
    static constexpr uint32_t firstSpan = 120000;
    static constexpr uint32_t firstSpanBefore = 5000;

private:
    void run();
    std::shared_ptr<CaptionReadingTrack::Shared> shared_;
    std::thread worker_;
};

}
