#include "caption/sync_alignment.h"

#include "caption/caption.h"
#include "caption/node_list.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace sublumen {

namespace {

// The search runs on coarse steps of this many activity steps (100 ms), then each piece is placed to
// the activity step.
constexpr int64_t coarse = 10;
// Offsets reach ten minutes either way.
constexpr int64_t largestOffset = 600000;
constexpr int64_t coarseReach = largestOffset / (activityStep * coarse);
// A caption shown longer than this (one that lasts until the next, a long silence later) counts for this
// long: its words are spoken at its start.
constexpr uint32_t longestSpan = 8000;
// Activity weighs 1 - p where there is some and -p where there is none (p its share of the movie), so
// a random place scores 0 on average; in units of 1/weightScale.
constexpr int64_t weightScale = 1024;
// A split of the map must gain what this many well-placed captions score.
constexpr double splitPenaltyCaptions = 12.0;
// The best place must stand out from the others by this many robust deviations; or, for a short movie,
// whose few captions cannot stand out as far, by some of them and as far again above the best other place.
// Captions of another movie fit nowhere so (about 3 to 5 deviations, and a next best place about as good).
constexpr double leastClarity = 8.0;
constexpr double leastShortClarity = 4.0;
constexpr double leastLead = 2.0;
// Stretches of the captions searched on their own when a rate is fitted: at least this long and with
// this many captions, and at most this many stretches.
constexpr uint32_t fitStretch = 240000;
constexpr size_t fitStretchCaptions = 10;
constexpr size_t mostFitStretches = 12;
// A stretch whose best place stands out less than this does not vote on the rate.
constexpr double fitStretchClarity = 5.0;
// Stretches agree on a rate when their places lie within this of its line (milliseconds).
constexpr double fitTolerance = 300.0;
// The best other place than the best lies at least this far from it (coarse steps).
constexpr int64_t runnerUpDistance = 30;
// The offsets pieces may take: peaks of the whole track at least this clear, at most this many, none
// nearer another than this (coarse steps); each searched this far either side.
constexpr double candidateClarity = 5.0;
constexpr size_t mostCandidates = 16;
constexpr int64_t candidateSpacing = 10;
constexpr int64_t candidateReach = 3;
// A fitted rate replaces the best common one only when it scores this much better.
constexpr double fitGain = 1.02;
// The least and most activity a movie may have for the captions to be placed on it.
constexpr double leastActivity = 0.01;
constexpr double mostActivity = 0.97;
// A piece shorter than this (caption time, or captions) is no stretch of the movie but captions of a
// stretch it lacks, placed wherever they happen to fit: it joins the piece before it.
constexpr uint32_t shortestPiece = 60000;
constexpr size_t fewestPieceCaptions = 8;
// Refinement searches this many activity steps either side of the coarse place.
constexpr int64_t refineReach = 20;
// Spans are kept within this time: no caption track or movie is longer.
constexpr uint32_t longestTrack = 48u * 3600u * 1000u;

// Movie time per caption time: 1, and the common frame-rate ratios (25, 24 and 24000/1001 frames a
// second) either way.
constexpr double film = 24000.0 / 1001.0;
constexpr double commonRatios[] = { 1.0, 25.0 / film, film / 25.0, 24.0 / film, film / 24.0, 25.0 / 24.0, 24.0 / 25.0 };

// The activity as prefix sums of its weights, one per activity step; beyond its ends they stay flat.
class Weights {
public:
    Weights(const std::vector<uint8_t>& activity, double share)
    {
        const int64_t p = std::clamp<int64_t>(std::llround(share * weightScale), 1, weightScale - 1);
        prefix_.resize(activity.size() + 1);
        prefix_[0] = 0;
        for (size_t t = 0; t < activity.size(); ++t)
            prefix_[t + 1] = prefix_[t] + (activity[t] ? weightScale - p : -p);
    }
    int64_t steps() const { return static_cast<int64_t>(prefix_.size()) - 1; }
    int64_t at(int64_t t) const { return prefix_[static_cast<size_t>(std::clamp<int64_t>(t, 0, steps()))]; }

private:
    std::vector<int64_t> prefix_;
};

// A caption starts when its words are spoken: its first moments count twice for activity, and the
// silence before it (as far as the caption before it leaves) counts against activity. Where a caption
// ends is a matter of taste and of the detector's hold after the words, so the start decides.
constexpr uint32_t leadSilence = 300;
constexpr uint32_t headSpeech = 300;

// A caption in steps of `step` activity steps of movie time, at rate k and offset 0: the silence before it
// from lead, the caption itself from start to end, its first moments up to head.
struct StepSpan {
    int64_t lead;
    int64_t start;
    int64_t head;
    int64_t end;
};

std::vector<StepSpan> stepSpans(const std::vector<CaptionSpan>& spans, double k, int64_t step)
{
    std::vector<StepSpan> out;
    out.reserve(spans.size());
    const double unit = static_cast<double>(activityStep) * static_cast<double>(step);
    uint32_t before = 0;
    for (const CaptionSpan& s : spans) {
        const uint32_t lead = std::max(before, s.start > leadSilence ? s.start - leadSilence : 0u);
        const uint32_t head = std::min(s.end, s.start + headSpeech);
        out.push_back({ std::llround(lead * k / unit), std::llround(s.start * k / unit), std::llround(head * k / unit),
            std::llround(s.end * k / unit) });
        before = s.end;
    }
    return out;
}

// The score of a caption from the weights' prefix sums at its four points: the weights under it and again
// under its first moments, less those of the silence before it.
int64_t spanScore(int64_t lead, int64_t start, int64_t head, int64_t end) { return end + head - 3 * start + lead; }

// Scores of spans at every coarse offset from -coarseReach to coarseReach: the weights of the activity
// under the spans laid there. The weights are looked up in one flat row covering every place a span can
// land, so each span adds two shifted slices of it.
class CoarseScores {
public:
    CoarseScores(const Weights& weights, const std::vector<StepSpan>& spans)
    {
        int64_t low = INT64_MAX;
        int64_t high = INT64_MIN;
        for (const StepSpan& s : spans) {
            low = std::min(low, s.lead);
            high = std::max(high, s.end);
        }
        base_ = low - coarseReach;
        row_.resize(static_cast<size_t>(high + coarseReach - base_ + 1));
        for (size_t i = 0; i < row_.size(); ++i)
            row_[i] = weights.at((base_ + static_cast<int64_t>(i)) * coarse);
    }

    // Adds the scores of span to scores (2 × coarseReach + 1 of them).
    void add(const StepSpan& span, int64_t* scores) const
    {
        const int64_t* l = &row_[static_cast<size_t>(span.lead - coarseReach - base_)];
        const int64_t* a = &row_[static_cast<size_t>(span.start - coarseReach - base_)];
        const int64_t* h = &row_[static_cast<size_t>(span.head - coarseReach - base_)];
        const int64_t* b = &row_[static_cast<size_t>(span.end - coarseReach - base_)];
        for (int64_t o = 0; o <= 2 * coarseReach; ++o)
            scores[o] += spanScore(l[o], a[o], h[o], b[o]);
    }

    // The score of span at the coarse offset.
    int64_t at(const StepSpan& span, int64_t offset) const
    {
        return spanScore(row_[static_cast<size_t>(span.lead + offset - base_)],
            row_[static_cast<size_t>(span.start + offset - base_)],
            row_[static_cast<size_t>(span.head + offset - base_)],
            row_[static_cast<size_t>(span.end + offset - base_)]);
    }

    std::vector<int64_t> of(const std::vector<StepSpan>& spans, size_t first, size_t last) const
    {
        std::vector<int64_t> scores(static_cast<size_t>(2 * coarseReach + 1), 0);
        for (size_t i = first; i < last; ++i)
            add(spans[i], scores.data());
        return scores;
    }

private:
    std::vector<int64_t> row_;
    int64_t base_ = 0;
};

struct Peak {
    int64_t offset = 0; // coarse steps
    int64_t score = 0;
    double clarity = 0.0;
    int64_t median = 0; // of the comparable offsets' scores
    // How far the best place stands above the best other one (at least runnerUpDistance away), both above
    // the median: 1 when another place fits as well.
    double lead = 1.0;
};

// The offsets (indexes into scores) at which at least half of the time spans [first, last) cover lies
// within the movie: those a wrong place is compared with. Most offsets put the captions of a short movie
// wholly outside it, where they score nothing.
struct Comparable {
    size_t from;
    size_t to;
};

Comparable comparableOffsets(const Weights& weights, const std::vector<StepSpan>& spans, size_t first, size_t last)
{
    const int64_t low = spans[first].start;
    const int64_t high = spans[last - 1].end;
    const int64_t half = (high - low) / 2;
    const int64_t movie = weights.steps() / coarse;
    const int64_t from = std::max(-coarseReach, -low - half);
    const int64_t to = std::min(coarseReach, movie - high + half);
    // Too few to judge by: every offset then.
    if (to - from < 50)
        return { 0, static_cast<size_t>(2 * coarseReach) };
    return { static_cast<size_t>(from + coarseReach), static_cast<size_t>(to + coarseReach) };
}

// The best offset of scores and how far it stands out: robust deviations (the median's absolute
// deviation, scaled to a normal deviation) above the median of the comparable offsets.
Peak peakOf(const std::vector<int64_t>& scores, Comparable comparable)
{
    Peak peak;
    size_t best = 0;
    for (size_t o = 1; o < scores.size(); ++o) {
        if (scores[o] > scores[best])
            best = o;
    }
    peak.offset = static_cast<int64_t>(best) - coarseReach;
    peak.score = scores[best];
    std::vector<int64_t> sorted(scores.begin() + static_cast<std::ptrdiff_t>(comparable.from),
        scores.begin() + static_cast<std::ptrdiff_t>(comparable.to) + 1);
    auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    const int64_t median = *middle;
    for (int64_t& s : sorted)
        s = std::llabs(s - median);
    std::nth_element(sorted.begin(), middle, sorted.end());
    const double deviation = std::max(1.4826 * static_cast<double>(*middle), 1.0);
    peak.clarity = static_cast<double>(peak.score - median) / deviation;
    peak.median = median;
    int64_t runnerUp = median;
    for (size_t o = comparable.from; o <= comparable.to; ++o) {
        if (std::llabs(static_cast<int64_t>(o) - static_cast<int64_t>(best)) > runnerUpDistance)
            runnerUp = std::max(runnerUp, scores[o]);
    }
    peak.lead
        = runnerUp > median ? static_cast<double>(peak.score - median) / static_cast<double>(runnerUp - median) : 1e9;
    return peak;
}

struct RatePeak {
    double k = 1.0;
    Peak peak;
    std::vector<int64_t> scores; // at every coarse offset
};

// The best offset at the rate k.
RatePeak peakAt(const Weights& weights, const std::vector<CaptionSpan>& spans, double k)
{
    std::vector<StepSpan> steps = stepSpans(spans, k, coarse);
    CoarseScores scores(weights, steps);
    RatePeak r { k, {}, scores.of(steps, 0, steps.size()) };
    r.peak = peakOf(r.scores, comparableOffsets(weights, steps, 0, steps.size()));
    return r;
}

// A longer stretch of captions at a faster rate scores more for the same fit; scores are compared per
// unit of caption time.
double fairScore(const RatePeak& r) { return static_cast<double>(r.peak.score) / r.k; }

// Where stretches of the captions, placed on their own at the rate k, stand out.
struct Place {
    double time; // caption time of the stretch's middle
    int64_t offset; // coarse steps
};

std::vector<Place> stretchPlaces(const Weights& weights, const std::vector<CaptionSpan>& spans, double k)
{
    std::vector<Place> places;
    const uint32_t first = spans.front().start;
    const uint32_t length = spans.back().end - first;
    const size_t count = std::min<size_t>(mostFitStretches, length / fitStretch);
    if (count < 2)
        return places;
    std::vector<StepSpan> steps = stepSpans(spans, k, coarse);
    CoarseScores scores(weights, steps);
    size_t begin = 0;
    for (size_t c = 0; c < count; ++c) {
        const uint64_t limit = first + static_cast<uint64_t>(length) * (c + 1) / count;
        size_t end = begin;
        while (end < spans.size() && (spans[end].start < limit || c + 1 == count))
            ++end;
        if (end - begin >= fitStretchCaptions) {
            Peak peak = peakOf(scores.of(steps, begin, end), comparableOffsets(weights, steps, begin, end));
            if (peak.clarity >= fitStretchClarity)
                places.push_back({ (static_cast<double>(spans[begin].start) + spans[end - 1].end) / 2.0, peak.offset });
        }
        begin = end;
    }
    return places;
}

// A rate between the common ones (a telecine, a slow clock): the line most stretch places agree on gives
// the rate's correction. None when too few stretches stand out or they agree on no slope worth having.
std::optional<double> fittedRate(const std::vector<Place>& places, const std::vector<CaptionSpan>& spans, double k)
{
    if (places.size() < 3)
        return std::nullopt;
    const double length = static_cast<double>(spans.back().end - spans.front().start);
    const double unit = static_cast<double>(coarse * activityStep);
    // Every pair of places proposes a line; the one most places agree with wins, the flatter one on a tie,
    // so a cut (places on two levels) does not pass for a rate.
    double bestSlope = 0.0;
    size_t bestVotes = 0;
    for (size_t i = 0; i < places.size(); ++i) {
        for (size_t j = i + 1; j < places.size(); ++j) {
            const double slope
                = static_cast<double>(places[j].offset - places[i].offset) * unit / (places[j].time - places[i].time);
            size_t votes = 0;
            for (const Place& p : places) {
                const double line = static_cast<double>(places[i].offset) * unit + slope * (p.time - places[i].time);
                if (std::abs(line - static_cast<double>(p.offset) * unit) <= fitTolerance)
                    ++votes;
            }
            if (votes > bestVotes || (votes == bestVotes && std::abs(slope) < std::abs(bestSlope))) {
                bestVotes = votes;
                bestSlope = slope;
            }
        }
    }
    if (bestVotes < 3 || bestVotes * 5 < places.size() * 3 || std::abs(bestSlope) * length < fitTolerance)
        return std::nullopt;
    const double fitted = k + bestSlope;
    if (!captionRateAllowed(1.0 / fitted))
        return std::nullopt;
    return fitted;
}

// The offsets a piece of the map may take: the places where the whole track stands out (a piece of the
// movie makes a peak of its own there), and where stretches of it do; each with its neighbours, since the
// coarse steps round.
std::vector<int64_t> candidateOffsets(const RatePeak& best, const std::vector<Place>& places)
{
    const std::vector<int64_t>& scores = best.scores;
    // The clarity of a peak is its height above the median in robust deviations; the best peak's gives the
    // deviation.
    const int64_t median = best.peak.median;
    const double deviation
        = best.peak.clarity > 0 ? static_cast<double>(best.peak.score - median) / best.peak.clarity : 1.0;
    std::vector<std::pair<int64_t, int64_t>> peaks; // score, offset
    const int64_t width = static_cast<int64_t>(scores.size());
    for (int64_t o = 0; o < width; ++o) {
        if (static_cast<double>(scores[o] - median) < candidateClarity * deviation)
            continue;
        bool highest = true;
        for (int64_t d = std::max<int64_t>(0, o - candidateSpacing);
             d <= std::min(width - 1, o + candidateSpacing) && highest; ++d)
            highest = scores[d] < scores[o] || (scores[d] == scores[o] && d >= o);
        if (highest)
            peaks.emplace_back(scores[o], o - coarseReach);
    }
    std::sort(peaks.rbegin(), peaks.rend());
    if (peaks.size() > mostCandidates)
        peaks.resize(mostCandidates);
    // The best place is always one, however little it stands out.
    std::vector<int64_t> centres { best.peak.offset };
    for (const auto& peak : peaks)
        centres.push_back(peak.second);
    for (const Place& p : places)
        centres.push_back(p.offset);
    std::vector<int64_t> offsets;
    for (int64_t c : centres) {
        for (int64_t d = -candidateReach; d <= candidateReach; ++d) {
            if (c + d >= -coarseReach && c + d <= coarseReach)
                offsets.push_back(c + d);
        }
    }
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    return offsets;
}

// The pieces of the map at the rate k: for every span the coarse offset of its piece, chosen among offsets
// by dynamic programming over the spans in order, where staying at an offset is free and moving to another
// costs penalty.
std::vector<int64_t> pieceOffsets(const Weights& weights, const std::vector<StepSpan>& steps,
    const std::vector<int64_t>& offsets, int64_t penalty, const std::function<bool()>& cancelled)
{
    CoarseScores scores(weights, steps);
    const size_t width = offsets.size();
    const size_t words = (width + 63) / 64;
    std::vector<int64_t> value(width, 0);
    // For every span after the first: which offsets were reached by a move, and from where.
    std::vector<uint64_t> moved(words * steps.size(), 0);
    std::vector<size_t> movedFrom(steps.size(), 0);
    for (size_t o = 0; o < width; ++o)
        value[o] = scores.at(steps[0], offsets[o]);
    for (size_t i = 1; i < steps.size(); ++i) {
        if (cancelled && i % 1024 == 0 && cancelled())
            return {};
        const size_t from = static_cast<size_t>(std::max_element(value.begin(), value.end()) - value.begin());
        movedFrom[i] = from;
        const int64_t viaMove = value[from] - penalty;
        uint64_t* bits = &moved[words * i];
        for (size_t o = 0; o < width; ++o) {
            const bool move = viaMove > value[o];
            value[o] = (move ? viaMove : value[o]) + scores.at(steps[i], offsets[o]);
            bits[o / 64] |= static_cast<uint64_t>(move) << (o % 64);
        }
    }
    std::vector<int64_t> chosen(steps.size());
    size_t o = static_cast<size_t>(std::max_element(value.begin(), value.end()) - value.begin());
    for (size_t i = steps.size(); i-- > 0;) {
        chosen[i] = offsets[o];
        if (i > 0 && (moved[words * i + o / 64] >> (o % 64) & 1))
            o = movedFrom[i];
    }
    return chosen;
}

// The offset (activity steps) within refineReach of around that lays spans [first, last) best.
int64_t refinedOffset(
    const Weights& weights, const std::vector<StepSpan>& fine, size_t first, size_t last, int64_t around)
{
    int64_t best = around;
    int64_t bestScore = INT64_MIN;
    for (int64_t d = 0; d <= 2 * refineReach; ++d) {
        // From the middle outwards, so that of equal scores the one nearest the coarse place wins.
        const int64_t o = around + (d % 2 == 0 ? d / 2 : -(d + 1) / 2);
        int64_t score = 0;
        for (size_t i = first; i < last; ++i)
            score += spanScore(weights.at(fine[i].lead + o), weights.at(fine[i].start + o),
                weights.at(fine[i].head + o), weights.at(fine[i].end + o));
        if (score > bestScore) {
            bestScore = score;
            best = o;
        }
    }
    return best;
}

// Captions as the search wants them: in order, overlaps joined, each at most longestSpan long, none
// empty and none beyond what any movie could reach.
std::vector<CaptionSpan> tidySpans(std::vector<CaptionSpan> spans)
{
    std::erase_if(spans, [](const CaptionSpan& s) { return s.end <= s.start || s.start >= longestTrack; });
    for (CaptionSpan& s : spans)
        s.end = std::min(s.end, s.start + longestSpan);
    std::sort(spans.begin(), spans.end(), [](const CaptionSpan& a, const CaptionSpan& b) { return a.start < b.start; });
    std::vector<CaptionSpan> joined;
    for (const CaptionSpan& s : spans) {
        if (!joined.empty() && s.start <= joined.back().end)
            joined.back().end = std::max(joined.back().end, s.end);
        else
            joined.push_back(s);
    }
    return joined;
}

}

Alignment alignCaptions(
    const std::vector<uint8_t>& activity, std::vector<CaptionSpan> spans, const std::function<bool()>& cancelled)
{
    Alignment result;
    spans = tidySpans(std::move(spans));
    if (spans.size() < 2) {
        result.verdict = AlignmentVerdict::TooFewCaptions;
        return result;
    }
    const size_t active
        = static_cast<size_t>(std::count_if(activity.begin(), activity.end(), [](uint8_t a) { return a != 0; }));
    const double share = activity.empty() ? 0.0 : static_cast<double>(active) / static_cast<double>(activity.size());
    if (share < leastActivity || share > mostActivity) {
        result.verdict = AlignmentVerdict::NoActivity;
        return result;
    }
    // Captions that would lie past the end of the movie wherever they were put score nothing anywhere.
    const double movieEnd = static_cast<double>(activity.size()) * activityStep;
    std::erase_if(spans, [&](const CaptionSpan& s) { return s.start * (film / 25.0) > movieEnd + largestOffset; });
    if (spans.size() < 2) {
        result.verdict = AlignmentVerdict::TooFewCaptions;
        return result;
    }
    Weights weights(activity, share);

    // Rate 1 first; another rate must fit clearly better, as it would over any movie of some length, for
    // over a short one the ratios all fit alike.
    RatePeak best;
    bool first = true;
    for (double k : commonRatios) {
        if (cancelled && cancelled()) {
            result.verdict = AlignmentVerdict::Cancelled;
            return result;
        }
        RatePeak r = peakAt(weights, spans, k);
        if (first || fairScore(r) > fairScore(best) * (best.k == 1.0 ? fitGain : 1.0))
            best = std::move(r);
        first = false;
    }
    std::vector<Place> places = stretchPlaces(weights, spans, best.k);
    if (std::optional<double> k = fittedRate(places, spans, best.k)) {
        RatePeak fitted = peakAt(weights, spans, *k);
        if (fairScore(fitted) > fairScore(best) * fitGain) {
            best = std::move(fitted);
            places = stretchPlaces(weights, spans, best.k);
        }
    }
    result.clarity = best.peak.clarity;
    result.lead = best.peak.lead;
    const bool clear
        = best.peak.clarity >= leastClarity || (best.peak.clarity >= leastShortClarity && best.peak.lead >= leastLead);
    if (best.peak.score <= 0 || !clear)
        return result;

    const double k = best.k;
    std::vector<StepSpan> coarseSpans = stepSpans(spans, k, coarse);
    const int64_t penalty
        = std::llround(splitPenaltyCaptions * static_cast<double>(best.peak.score) / static_cast<double>(spans.size()));
    std::vector<int64_t> offsets
        = pieceOffsets(weights, coarseSpans, candidateOffsets(best, places), std::max<int64_t>(penalty, 1), cancelled);
    if (offsets.empty()) {
        result.verdict = AlignmentVerdict::Cancelled;
        return result;
    }

    // Each run of spans at one offset is a piece, placed to the activity step.
    std::vector<StepSpan> fineSpans = stepSpans(spans, k, 1);
    struct Piece {
        size_t first;
        size_t last;
        int64_t offset; // activity steps
    };
    std::vector<Piece> pieces;
    for (size_t i = 0; i < spans.size(); ++i) {
        if (pieces.empty() || offsets[i] != offsets[i - 1])
            pieces.push_back({ i, i + 1, offsets[i] });
        else
            pieces.back().last = i + 1;
    }
    auto joinEqual = [&] {
        std::vector<Piece> joined;
        for (const Piece& p : pieces) {
            if (!joined.empty() && joined.back().offset == p.offset)
                joined.back().last = p.last;
            else
                joined.push_back(p);
        }
        pieces = std::move(joined);
    };
    // Short pieces join a neighbour, the shortest first, until every piece is a stretch of the movie.
    for (;;) {
        size_t shortest = pieces.size();
        for (size_t j = 0; j < pieces.size() && pieces.size() > 1; ++j) {
            const Piece& p = pieces[j];
            const bool isShort = spans[p.last - 1].end - spans[p.first].start < shortestPiece
                || p.last - p.first < fewestPieceCaptions;
            if (isShort
                && (shortest == pieces.size() || p.last - p.first < pieces[shortest].last - pieces[shortest].first))
                shortest = j;
        }
        if (shortest == pieces.size())
            break;
        pieces[shortest].offset = pieces[shortest == 0 ? 1 : shortest - 1].offset;
        joinEqual();
    }
    for (Piece& p : pieces)
        p.offset = refinedOffset(weights, fineSpans, p.first, p.last, p.offset * coarse);
    // Neighbours that refinement brought to one place are one piece.
    joinEqual();

    // Caption time = stream time × rate + shift, where movie time = caption time × k + offset.
    const double rate = k == 1.0 ? 1.0 : 1.0 / k;
    auto shiftOf = [&](int64_t offset) {
        return static_cast<int64_t>(std::llround(-static_cast<double>(offset * activityStep) * rate));
    };
    auto movieTime = [&](uint32_t captionTime, int64_t offset) {
        return static_cast<double>(captionTime) * k + static_cast<double>(offset * activityStep);
    };
    int64_t baseShift = shiftOf(pieces.front().offset);
    SyncPieces mapPieces;
    for (size_t j = 1; j < pieces.size(); ++j) {
        const Piece& before = pieces[j - 1];
        const Piece& after = pieces[j];
        // The split lies between the last caption before it and the first after it, where neither map
        // shows a caption of the other piece.
        const double lastEnd = movieTime(spans[before.last - 1].end, before.offset);
        const double nextStart = movieTime(spans[after.first].start, after.offset);
        const double high = std::min(movieTime(spans[after.first].start, before.offset), nextStart);
        const double middle = (lastEnd + nextStart) / 2.0;
        const double split = high < lastEnd ? high : std::clamp(middle, lastEnd, high);
        const int64_t from = std::llround(split);
        const int64_t shift = shiftOf(after.offset);
        if (from <= 0) {
            // The pieces before it end before the movie starts.
            mapPieces.clear();
            baseShift = shift;
            continue;
        }
        if (from > static_cast<int64_t>(UINT32_MAX))
            break;
        if (!mapPieces.empty() && static_cast<uint32_t>(from) <= mapPieces.back().from)
            mapPieces.pop_back();
        mapPieces.push_back({ static_cast<uint32_t>(from), static_cast<int32_t>(shift - baseShift) });
    }
    if (baseShift < INT32_MIN || baseShift > INT32_MAX)
        return result;

    // How much of the captions' time the map lays on activity.
    int64_t covered = 0;
    int64_t total = 0;
    for (const Piece& p : pieces) {
        for (size_t i = p.first; i < p.last; ++i) {
            for (int64_t t = fineSpans[i].start + p.offset; t < fineSpans[i].end + p.offset; ++t) {
                if (t >= 0 && t < static_cast<int64_t>(activity.size()))
                    covered += activity[static_cast<size_t>(t)] != 0;
            }
            total += fineSpans[i].end - fineSpans[i].start;
        }
    }
    result.coverage = total > 0 ? static_cast<double>(covered) / static_cast<double>(total) : 0.0;
    result.verdict = AlignmentVerdict::Fitted;
    result.shift = static_cast<int32_t>(baseShift);
    result.rate = rate;
    result.pieces = std::move(mapPieces);
    return result;
}

std::vector<uint8_t> activityOfSpans(const std::vector<CaptionSpan>& spans)
{
    uint32_t last = 0;
    for (const CaptionSpan& s : spans) {
        if (s.start < longestTrack && s.end > s.start)
            last = std::max(last, std::min(s.end, longestTrack));
    }
    std::vector<uint8_t> activity((last + activityStep - 1) / activityStep, 0);
    for (const CaptionSpan& s : spans) {
        if (s.start >= longestTrack || s.end <= s.start)
            continue;
        const size_t from = s.start / activityStep;
        const size_t to = (std::min(s.end, longestTrack) + activityStep - 1) / activityStep;
        std::fill(activity.begin() + static_cast<std::ptrdiff_t>(from),
            activity.begin() + static_cast<std::ptrdiff_t>(to), 1);
    }
    return activity;
}

std::vector<CaptionSpan> spansEndedWithin(std::vector<CaptionSpan> spans, uint32_t most)
{
    std::stable_sort(
        spans.begin(), spans.end(), [](const CaptionSpan& a, const CaptionSpan& b) { return a.start < b.start; });
    for (size_t i = 0; i < spans.size(); ++i) {
        const uint32_t room = spans[i].start < endMarker ? endMarker - 1 - spans[i].start : 0;
        uint32_t end = spans[i].start + std::min(most, room);
        if (i + 1 < spans.size() && spans[i + 1].start > spans[i].start)
            end = std::min(end, spans[i + 1].start);
        spans[i].end = end;
    }
    return spans;
}

std::vector<CaptionSpan> captionSpans(const Caption& track)
{
    std::vector<CaptionSpan> spans;
    for (const ListNode* node = track.entries; node; node = node->next) {
        const auto* entry = static_cast<const CaptionEntry*>(node->data);
        if (entry->start == endMarker)
            break;
        const char* text = entry->text;
        // A SAMI caption of "&nbsp;" alone clears the screen as an empty one does.
        const bool visible = text && text[std::strspn(text, " \t\r\n")] != '\0';
        if (!visible)
            continue;
        const ListNode* next = node->next;
        const uint32_t end = next ? static_cast<const CaptionEntry*>(next->data)->start : endMarker;
        if (end > entry->start)
            spans.push_back({ entry->start, end });
    }
    return spans;
}

}
