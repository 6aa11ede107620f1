// Finding where captions belong in a movie: the map of caption time onto movie time that lays the
// captions best over the moments someone speaks, or over the captions of another track. The map is an
// offset (up to ten minutes either way), a rate (1, a common ratio of frame rates, or one fitted to the
// captions) and, where the movie and the captions were cut differently, pieces, each split paid for by
// a penalty so that one is made only where it clearly pays. Pure computation on the calling thread.
#pragma once

#include "caption/caption_sync.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace sublumen {

class Caption;

// The activity (speech, or a reference track's captions) is one value per this many milliseconds of
// movie time.
constexpr uint32_t activityStep = 10;

// The time one caption is shown, in milliseconds, end excluded.
struct CaptionSpan {
    uint32_t start;
    uint32_t end;

    bool operator==(const CaptionSpan&) const = default;
};

enum class AlignmentVerdict {
    Fitted,
    TooFewCaptions, // fewer than two captions to place
    NoActivity, // no speech (or no reference captions) to place them on, or nothing but
    NoFit, // nowhere do the captions fit the activity clearly: captions of another movie
    Cancelled,
};

struct Alignment {
    AlignmentVerdict verdict = AlignmentVerdict::NoFit;
    // For Fitted: caption time = stream time × rate + shift, moved on by the pieces (caption_sync.h).
    int32_t shift = 0;
    double rate = 1.0;
    SyncPieces pieces;
    // How far the best place stands out from all the others (robust deviations above the median), and
    // how much of the captions' time the map lays on activity.
    double clarity = 0.0;
    double coverage = 0.0;
    // How far the best place stands above the best other place, both above the median.
    double lead = 1.0;
};

// Places spans (caption time, any order) onto activity (1 for each activityStep of movie time from 0
// where someone speaks). cancelled, when given, is asked now and then; a true answer ends the work with
// Cancelled.
Alignment alignCaptions(
    const std::vector<uint8_t>& activity, std::vector<CaptionSpan> spans, const std::function<bool()>& cancelled = {});

// The activity a reference track gives: 1 wherever one of spans (movie time) is shown, up to its last end.
std::vector<uint8_t> activityOfSpans(const std::vector<CaptionSpan>& spans);

// The spans in order of start, each ending where the next starts or most after its own start, whichever
// comes first: what is known of captions whose starts alone are told.
std::vector<CaptionSpan> spansEndedWithin(std::vector<CaptionSpan> spans, uint32_t most);

// The captions of a track as spans: every entry with visible text, from its start to the next entry's.
std::vector<CaptionSpan> captionSpans(const Caption& track);

}
