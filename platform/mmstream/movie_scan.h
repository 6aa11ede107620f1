// A whole movie read once from start to end, apart from playback: where someone speaks in one of its
// audio streams (10 ms at a time) and every caption of some of its caption streams. The work runs on a
// worker thread of low priority, so the movie plays on meanwhile; what the caller wants done with the
// result runs on that thread too, before the scan counts as finished.
#pragma once

#include "platform/mmstream/media_backend.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// The audio stream a movie plays unless told otherwise: the one it flags default, else its first.
constexpr int defaultAudioStream = -2;

struct MovieScanRequest {
    std::string path; // empty: nothing is read, and MovieScan only runs its finish
    int audioStream = -1; // the audio stream whose speech is found (or defaultAudioStream); -1 for none
    std::vector<int> captionStreams; // the caption streams whose captions are gathered
    // The captions' times are all that is wanted (no texts): where the container's index lists every
    // caption of each stream asked for, the times are taken from it and the file is not read through.
    // Only with no audio stream asked for.
    bool captionTimesOnly = false;
};

// How long a caption whose end the index does not tell (Matroska's cue points hold starts only) is taken
// to last: until the next caption of its stream starts, at most this long. The starts carry an alignment;
// a span a little shorter than most captions still weighs as much as a real one where it belongs, and
// overlaps its neighbours less where it does not, so evenly spaced captions keep one clear placement.
constexpr MediaTime indexedCaptionLength = std::chrono::milliseconds(1500);

enum class ScanOutcome {
    Done,
    Cancelled,
    CannotOpen, // the file cannot be opened or is not a movie
    NoSound, // the audio stream asked for is none of the movie's, or its decoder cannot start
    ReadFailed, // reading stopped before the end of the file; what was read is kept
};

struct MovieScanResult {
    ScanOutcome outcome = ScanOutcome::Done;
    // One value per speechStep of movie time from 0 up to the last sound read: 1 where someone speaks.
    std::vector<uint8_t> speech;
    // The captions of the caption streams asked for, in the order read, each tagged with its stream; a
    // picture caption with its times and no text, one that clears the screen not at all.
    std::vector<CaptionText> captions;
    MediaTime duration { 0 }; // the movie's length as its header gives it
    MediaTime soundRead { 0 }; // how far the sound was read
    int soundErrors = 0; // packets of sound the decoder refused
    // The captions came from the container's index (captionTimesOnly): their starts exact, their ends
    // by indexedCaptionLength where the index does not tell them, their texts empty.
    bool fromIndex = false;
};

// Milliseconds of movie time per value of MovieScanResult::speech.
constexpr int speechStep = 10;

// Reads the movie on the calling thread (or only its index, see captionTimesOnly). progress, when given, is told the
// share read so far (0 to 100) whenever it grows; cancelled is looked at between packets and ends the work with
// Cancelled.
MovieScanResult scanMovie(
    const MovieScanRequest& request, const std::atomic<bool>& cancelled, const std::function<void(int)>& progress = {});

// scanMovie on a worker thread of low priority, then finish with its result (on that thread). wake is
// called from the worker when the progress moves by a step and when all is done.
class MovieScan {
public:
    using Finish = std::function<void(MovieScanResult&, const std::atomic<bool>& cancelled)>;
    MovieScan(MovieScanRequest request, Finish finish, std::function<void()> wake);
    // Cancels the work and waits for the worker, which looks at the cancel between packets.
    ~MovieScan();
    MovieScan(const MovieScan&) = delete;
    MovieScan& operator=(const MovieScan&) = delete;

    // The share of the movie read, 0 to 100; the finish counts as the last step.
    int progress() const { return progress_.load(); }
    // Whether the scan and the finish are over (cancelled ones too). Once true, the finish's work is
    // visible to the caller.
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    void cancel() { cancelled_.store(true); }
    // The scan's result, for the caller once finished.
    const MovieScanResult& result() const { return result_; }

    // How far the scan goes before the finish runs (the rest of 100 is the finish's).
    static constexpr int scanShare = 95;

private:
    void run(MovieScanRequest request, Finish finish, std::function<void()> wake);

    std::atomic<bool> cancelled_ { false };
    std::atomic<int> progress_ { 0 };
    std::atomic<bool> finished_ { false };
    MovieScanResult result_;
    std::thread worker_;
};

}
