// Study cards written on a worker thread of their own: each card is one line of a tab-separated file
// (cards.tsv) with its sound cut out of the movie and its picture in a media folder beside it, the form
// that flash-card programs import. A card's line is appended only after its files are written whole, and
// a line that cannot be written whole is taken back, so the file always holds whole cards.
#pragma once

#include "platform/surface.h"
#include "platform/win32.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace platform {

struct CardJob {
    // Given back with the result.
    uint64_t id = 0;
    // The folder of cards.tsv; its media folder is made beside it.
    std::string folder;
    // The movie the sound is cut from, the audio stream heard (its number in the file, -1 for the main
    // one) and the card's stretch of movie time in milliseconds.
    std::string moviePath;
    int audioStream = -1;
    uint32_t start = 0;
    uint32_t end = 0;
    // The picture, or none to take the movie's picture at pictureTime from the file.
    std::shared_ptr<const Surface> picture;
    uint32_t pictureTime = 0;
    // The media files' name without its ending.
    std::string name;
    // The line's fields before the sound and the picture, as plain UTF-8 texts.
    std::vector<std::string> fields;
};

enum class CardError { None, NoSpace, NotPermitted, Io, Sound, Picture };

struct CardResult {
    uint64_t id = 0;
    CardError error = CardError::None;
    // The card's line number among the cards of cards.tsv.
    size_t number = 0;
    // cards.tsv, or the file that could not be written.
    std::string path;
    // The card has no sound: the movie has none.
    bool silent = false;
    // Why it failed, for the log.
    std::string reason;
};

class CardWriter {
public:
    // After each card, written or not, window (when not null) is sent message from the worker thread.
    CardWriter(HWND window, UINT message);
    // Writes what is still queued, then ends the worker.
    ~CardWriter();
    CardWriter(const CardWriter&) = delete;
    CardWriter& operator=(const CardWriter&) = delete;

    // Queues a card; false, with nothing queued, while queueLimit cards wait, so that a burst of
    // presses never holds up the caller.
    bool submit(CardJob job);
    // The results since the last call, in the order of submission.
    std::vector<CardResult> takeResults();
    // Waits until every queued card is written or has failed.
    void waitIdle();

    static constexpr size_t queueLimit = 8;

private:
    void run();

    HWND window_;
    UINT message_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<CardJob> queue_;
    std::vector<CardResult> results_;
    bool busy_ = false;
    bool ending_ = false;
    std::thread worker_;
};

// A text as one field of a card's line: HTML's special characters escaped, line breaks as <br>, tabs as
// blanks, so it holds no tab or line feed.
std::string cardField(std::string_view text);
// The card's line without its line feed: the fields, then "[sound:FILE]" (empty without sound) and
// "<img src="FILE">", tab-separated.
std::string cardLine(const std::vector<std::string>& fields, const std::string& soundFile,
    const std::string& pictureFile);
// Appends line and a line feed to the file at path (created when missing), whole or not at all, under a
// lock that other writers of the file respect. On success number is the count of cards in the file.
CardResult appendCardLine(const std::string& path, const std::string& line);
// Writes job's files and line.
CardResult writeCard(const CardJob& job);

}
