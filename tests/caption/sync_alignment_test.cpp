#include "caption/sync_alignment.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <vector>

using namespace sublumen;

namespace {

// Utterances of a synthetic movie: 1 to 4 s long, 0.4 to 6 s apart, over minutes.
std::vector<CaptionSpan> utterances(unsigned seed, uint32_t minutes)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<uint32_t> length(1000, 4000);
    std::uniform_int_distribution<uint32_t> gap(400, 6000);
    std::vector<CaptionSpan> spans;
    for (uint32_t t = 3000; t < minutes * 60000u;) {
        const uint32_t end = t + length(random);
        spans.push_back({ t, end });
        t = end + gap(random);
    }
    return spans;
}

// What a voice detector makes of the utterances laid at their movie times: it hears each a little late
// and holds on after it, misses a word now and then and takes some music for speech.
std::vector<uint8_t> heard(const std::vector<std::optional<uint32_t>>& movieStarts,
    const std::vector<CaptionSpan>& spans, uint32_t movieLength, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> activity(movieLength / activityStep, 0);
    std::bernoulli_distribution missed(0.05);
    for (size_t i = 0; i < spans.size(); ++i) {
        if (!movieStarts[i] || missed(random))
            continue;
        const uint32_t from = (*movieStarts[i] + 40) / activityStep;
        const uint32_t to = (*movieStarts[i] + (spans[i].end - spans[i].start) + 200) / activityStep;
        for (uint32_t t = from; t < to && t < activity.size(); ++t)
            activity[t] = 1;
    }
    std::bernoulli_distribution music(0.002);
    for (size_t t = 0; t < activity.size(); ++t) {
        if (music(random))
            std::fill_n(
                activity.begin() + static_cast<std::ptrdiff_t>(t), std::min<size_t>(80, activity.size() - t), 1);
    }
    return activity;
}

struct AlignmentCase {
    const char* what;
    int32_t offset; // the captions run this much behind the movie (caption time = movie time - offset)
    double captionsPerMovie; // caption time per movie time
    uint32_t cutAt; // the movie lacks cutLength of what the captions have from cutAt (movie time) on
    uint32_t cutLength;
    bool otherMovie; // the captions are of another movie
};

TEST(SyncAlignment, FindsOffsetRateAndCutOrRefuses)
{
    const uint32_t minutes = 30;
    for (const AlignmentCase& c : {
             AlignmentCase { "a small offset", -700, 1.0, 0, 0, false },
             AlignmentCase { "nine minutes later than the speech", -540000, 1.0, 0, 0, false },
             AlignmentCase {
                 "timed for 25 frames a second, shown at 23.976", 4000, (24000.0 / 1001.0) / 25.0, 0, 0, false },
             AlignmentCase { "a rate between the common ones", -2500, 1.003, 0, 0, false },
             AlignmentCase { "80 s missing from the movie", 3000, 1.0, 700000, 80000, false },
             AlignmentCase { "the captions of another movie", 0, 1.0, 0, 0, true },
         }) {
        SCOPED_TRACE(c.what);
        const std::vector<CaptionSpan> truth = utterances(7, minutes);
        // Where each caption is spoken in the movie; none for one cut out of it.
        std::vector<std::optional<uint32_t>> movieStarts;
        uint32_t movieLength = 0;
        for (const CaptionSpan& s : truth) {
            std::optional<uint32_t> at = s.start;
            if (c.cutLength && s.end > c.cutAt)
                at = s.start >= c.cutAt + c.cutLength ? std::optional<uint32_t>(s.start - c.cutLength) : std::nullopt;
            movieStarts.push_back(at);
        }
        movieLength = minutes * 60000u - c.cutLength;
        const std::vector<uint8_t> activity = heard(movieStarts, truth, movieLength, 11);
        // The captions as the file has them: the movie time of the uncut version, displaced.
        const std::vector<CaptionSpan> source = c.otherMovie ? utterances(99, minutes) : truth;
        std::vector<CaptionSpan> captions;
        for (const CaptionSpan& s : source) {
            auto displaced = [&](uint32_t t) {
                return static_cast<uint32_t>(std::max<int64_t>(0, std::llround(t * c.captionsPerMovie) - c.offset));
            };
            captions.push_back({ displaced(s.start), displaced(s.end) });
        }

        const Alignment found = alignCaptions(activity, captions);
        if (c.otherMovie) {
            EXPECT_EQ(found.verdict, AlignmentVerdict::NoFit) << "clarity " << found.clarity;
            continue;
        }
        ASSERT_EQ(found.verdict, AlignmentVerdict::Fitted) << "clarity " << found.clarity;
        EXPECT_EQ(found.pieces.size(), c.cutLength ? 1u : 0u)
            << syncPiecesText(found.pieces) << " shift " << found.shift;
        std::vector<int64_t> errors;
        for (size_t i = 0; i < truth.size(); ++i) {
            if (!movieStarts[i])
                continue;
            const int64_t shown = streamTimeOfCaption(captions[i].start, found.shift, found.rate, found.pieces);
            errors.push_back(std::llabs(shown - *movieStarts[i]));
        }
        std::sort(errors.begin(), errors.end());
        EXPECT_LE(errors[errors.size() / 2], 100) << "median error";
        EXPECT_LE(errors[errors.size() * 9 / 10], 200) << "90th percentile error";
    }
}

TEST(SyncAlignment, RefusesWhatCannotBePlaced)
{
    const std::vector<CaptionSpan> spans = utterances(3, 10);
    std::vector<std::optional<uint32_t>> starts;
    for (const CaptionSpan& s : spans)
        starts.push_back(s.start);
    const std::vector<uint8_t> speech = heard(starts, spans, 600000, 5);
    EXPECT_EQ(alignCaptions(speech, { spans[0] }).verdict, AlignmentVerdict::TooFewCaptions);
    EXPECT_EQ(alignCaptions(speech, {}).verdict, AlignmentVerdict::TooFewCaptions);
    EXPECT_EQ(alignCaptions(std::vector<uint8_t>(60000, 0), spans).verdict, AlignmentVerdict::NoActivity);
    EXPECT_EQ(alignCaptions(std::vector<uint8_t>(60000, 1), spans).verdict, AlignmentVerdict::NoActivity);
    EXPECT_EQ(alignCaptions(speech, spans, [] { return true; }).verdict, AlignmentVerdict::Cancelled);
    // A reference track's captions are activity like speech: the same track 12 s later is found there.
    std::vector<CaptionSpan> later = spans;
    for (CaptionSpan& s : later)
        s = { s.start + 12000, s.end + 12000 };
    const Alignment onReference = alignCaptions(activityOfSpans(later), spans);
    ASSERT_EQ(onReference.verdict, AlignmentVerdict::Fitted);
    EXPECT_EQ(onReference.shift, -12000);
    EXPECT_EQ(onReference.rate, 1.0);
    EXPECT_TRUE(onReference.pieces.empty());
}

}
