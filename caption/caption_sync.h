// How caption time follows the movie: caption time = stream time × rate + shift. The shift is the movie
// item's timeshift, which J/K/U/I move as always; the rate is 1 unless two sync snaps far enough apart
// or the automatic sync fixed it, for captions timed for another frame rate or another cut. Where the
// movie and the captions were cut differently the map splits into pieces, each moving the caption time by
// its own amount from its stream time on. Pure arithmetic, no state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sublumen {

// The rates a snap or the movie memory may set; anything else is a mistaken snap or a damaged file.
constexpr double slowestCaptionRate = 0.8;
constexpr double fastestCaptionRate = 1.25;
// Two snaps closer than this in movie time are too near for their rate to be trusted.
constexpr uint32_t rateSnapDistance = 300000;
// The movie memory's field for the rate.
constexpr const char* captionRateField = "rate";

// One snap: at streamTime the caption starting at captionStart (caption time) should start.
struct SyncPoint {
    uint32_t streamTime;
    uint32_t captionStart;
};

struct CaptionSync {
    int32_t shift;
    double rate;
};

// From stream time `from` on, caption time runs delta milliseconds ahead of the map's line: the movie
// lacks a stretch the captions have (delta > 0) or has one they lack (delta < 0).
struct SyncPiece {
    uint32_t from;
    int32_t delta;

    bool operator==(const SyncPiece&) const = default;
};
// The pieces after the first, in ascending order of from; empty for a map of one piece.
using SyncPieces = std::vector<SyncPiece>;
inline const SyncPieces noSyncPieces;

// The movie memory's field for the pieces.
constexpr const char* syncPiecesField = "pieces";
// More pieces than this are a damaged memory line, not a movie.
constexpr size_t mostSyncPieces = 64;

// The caption time at streamTime, within 0 and the end of the clock's range; with rate 1 exactly
// streamTime + shift. Under pieces, the line of the piece streamTime lies in, but never below the caption
// time where the piece before it ended: caption time never runs back, it stands still over a stretch the
// captions lack until they go on.
uint32_t mapCaptionTime(uint32_t streamTime, int32_t shift, double rate, const SyncPieces& pieces = noSyncPieces);

// The caption time for a stream time, a signed shift, the caption rate (1 for none) and the pieces: never
// below 0. Everything that asks which caption is in force calls this, with currentItem's timeshift,
// captionRate and syncPieces.
uint32_t captionTime(uint32_t streamTime, int32_t timeshift, double rate, const SyncPieces& pieces = noSyncPieces);

// The first stream time whose caption time reaches captionTime; negative when the caption time is
// reached before the movie starts.
int64_t streamTimeOfCaption(uint32_t captionTime, int32_t shift, double rate,
    const SyncPieces& pieces = noSyncPieces);

enum class SnapOutcome {
    Shifted,  // the only snap: the shift moved, the rate kept
    RateFixed,  // paired with the previous snap: shift and rate both set
    TooClose,  // the previous snap is under rateSnapDistance away: this one replaces it, as Shifted
    RateRefused,  // the pair gives a rate outside the allowed ones: as Shifted
    OutOfRange,  // the shift would not fit in 32 bits: nothing changes
};

struct Snap {
    SnapOutcome outcome;
    CaptionSync sync;  // what to set, unless OutOfRange
    double pairedRate;  // the rate the pair gave (RateFixed, RateRefused)
};

// What a snap at now makes of the sync, given the previous snap of the movie (if any) and the rate in
// force.
Snap snapCaptionSync(const std::optional<SyncPoint>& previous, SyncPoint now, double rate);

// Whether rate lies within slowestCaptionRate and fastestCaptionRate.
bool captionRateAllowed(double rate);
// The rate as the movie memory and the tools write it, and read back: nothing for a text that is not
// wholly a number or for a rate that is not allowed.
std::string captionRateText(double rate);
std::optional<double> parseCaptionRate(const std::string& text);
// The pieces as the movie memory writes them, "from:delta,from:delta"; and read back: nothing for a text
// that is not such a list in ascending order of from, or that holds more than mostSyncPieces.
std::string syncPiecesText(const SyncPieces& pieces);
std::optional<SyncPieces> parseSyncPieces(const std::string& text);

}
