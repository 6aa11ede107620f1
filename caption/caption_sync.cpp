#include "caption/caption_sync.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace sublumen {

namespace {

// A rate that slipped past the checks counts as none, so no frame ever maps through it.
double usableRate(double rate)
{
    return captionRateAllowed(rate) ? rate : 1.0;
}

// Stream time × rate in whole milliseconds; exact at rate 1, so that times without a rate stay as they were.
int64_t scaled(int64_t streamTime, double rate)
{
    if (rate == 1.0)
        return streamTime;
    return std::llround(static_cast<double>(streamTime) * rate);
}

// The snap taken alone: the caption starts at its stream time under the given rate.
Snap shifted(SyncPoint now, double rate, SnapOutcome outcome, double pairedRate)
{
    const int64_t shift = static_cast<int64_t>(now.captionStart) - scaled(now.streamTime, rate);
    if (shift < INT32_MIN || shift > INT32_MAX)
        return { SnapOutcome::OutOfRange, { 0, rate }, pairedRate };
    return { outcome, { static_cast<int32_t>(shift), rate }, pairedRate };
}

}

bool captionRateAllowed(double rate)
{
    return rate >= slowestCaptionRate && rate <= fastestCaptionRate;
}

namespace {

// The caption time at streamTime before it is kept within the clock's range.
int64_t unboundedCaptionTime(int64_t streamTime, int32_t shift, double rate, const SyncPieces& pieces)
{
    int64_t hold = INT64_MIN;
    int64_t delta = 0;
    for (const SyncPiece& piece : pieces) {
        if (piece.from > streamTime)
            break;
        // Where the piece before ended, which the caption time does not fall back behind.
        if (piece.from > 0)
            hold = std::max(hold, scaled(static_cast<int64_t>(piece.from) - 1, rate) + shift + delta);
        delta = piece.delta;
    }
    return std::max(hold, scaled(streamTime, rate) + shift + delta);
}

// The first stream time of the line with this shift whose caption time reaches captionTime.
int64_t lineStreamTime(uint32_t captionTime, int64_t shift, double rate)
{
    const int64_t target = static_cast<int64_t>(captionTime) - shift;
    if (rate == 1.0)
        return target;
    // The division lands within a step of the answer; the forward map, rounding included, decides it.
    int64_t s = static_cast<int64_t>(std::ceil(static_cast<double>(target) / rate));
    while (scaled(s - 1, rate) >= target)
        --s;
    while (scaled(s, rate) < target)
        ++s;
    return s;
}

}

uint32_t mapCaptionTime(uint32_t streamTime, int32_t shift, double rate, const SyncPieces& pieces)
{
    const int64_t t = unboundedCaptionTime(streamTime, shift, usableRate(rate), pieces);
    if (t < 0)
        return 0;
    // A shift past the end of the clock's range stays at its end rather than wrapping to the start.
    if (t > static_cast<int64_t>(UINT32_MAX))
        return UINT32_MAX;
    return static_cast<uint32_t>(t);
}

uint32_t captionTime(uint32_t streamTime, int32_t timeshift, double rate, const SyncPieces& pieces)
{
    return mapCaptionTime(streamTime, timeshift, rate, pieces);
}

int64_t streamTimeOfCaption(uint32_t captionTime, int32_t shift, double rate, const SyncPieces& pieces)
{
    rate = usableRate(rate);
    if (!pieces.empty()) {
        // Before the movie starts only the first piece's line counts; after it the map never runs back,
        // so the first stream time that reaches the caption time is found by halving.
        const int32_t firstDelta = pieces.front().from == 0 ? pieces.front().delta : 0;
        if (static_cast<int64_t>(captionTime) <= unboundedCaptionTime(0, shift, rate, pieces))
            return lineStreamTime(captionTime, static_cast<int64_t>(shift) + firstDelta, rate);
        int64_t low = 0;  // its caption time is below captionTime
        int64_t high = static_cast<int64_t>(UINT32_MAX) + 1;
        while (high - low > 1) {
            const int64_t middle = low + (high - low) / 2;
            if (unboundedCaptionTime(middle, shift, rate, pieces) >= captionTime)
                high = middle;
            else
                low = middle;
        }
        return high;
    }
    return lineStreamTime(captionTime, shift, rate);
}

Snap snapCaptionSync(const std::optional<SyncPoint>& previous, SyncPoint now, double rate)
{
    rate = usableRate(rate);
    if (!previous)
        return shifted(now, rate, SnapOutcome::Shifted, 0.0);
    const int64_t streamSpan = static_cast<int64_t>(now.streamTime) - previous->streamTime;
    if (std::llabs(streamSpan) < rateSnapDistance)
        return shifted(now, rate, SnapOutcome::TooClose, 0.0);
    const int64_t captionSpan = static_cast<int64_t>(now.captionStart) - previous->captionStart;
    const double paired = static_cast<double>(captionSpan) / static_cast<double>(streamSpan);
    if (!captionRateAllowed(paired))
        return shifted(now, rate, SnapOutcome::RateRefused, paired);
    return shifted(now, paired, SnapOutcome::RateFixed, paired);
}

std::string captionRateText(double rate)
{
    char text[32];
    auto [end, error] = std::to_chars(text, text + sizeof text, rate);
    return error == std::errc() ? std::string(text, end) : std::string("1");
}

std::optional<double> parseCaptionRate(const std::string& text)
{
    double rate = 0.0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, rate);
    if (text.empty() || error != std::errc() || stop != end || !captionRateAllowed(rate))
        return std::nullopt;
    return rate;
}

}

namespace sublumen {

std::string syncPiecesText(const SyncPieces& pieces)
{
    std::string text;
    for (const SyncPiece& piece : pieces) {
        if (!text.empty())
            text += ',';
        text += std::to_string(piece.from) + ':' + std::to_string(piece.delta);
    }
    return text;
}

std::optional<SyncPieces> parseSyncPieces(const std::string& text)
{
    SyncPieces pieces;
    const char* at = text.data();
    const char* end = text.data() + text.size();
    while (at < end) {
        SyncPiece piece {};
        auto [colon, fromError] = std::from_chars(at, end, piece.from);
        if (fromError != std::errc() || colon == end || *colon != ':')
            return std::nullopt;
        auto [stop, deltaError] = std::from_chars(colon + 1, end, piece.delta);
        if (deltaError != std::errc() || (stop != end && *stop != ','))
            return std::nullopt;
        if ((!pieces.empty() && piece.from <= pieces.back().from) || pieces.size() == mostSyncPieces)
            return std::nullopt;
        pieces.push_back(piece);
        at = stop == end ? end : stop + 1;
        if (stop != end && at == end)
            return std::nullopt;
    }
    if (pieces.empty())
        return std::nullopt;
    return pieces;
}

}
