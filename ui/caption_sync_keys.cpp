#include "ui/caption_sync_keys.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption_sync.h"
#include "display/frame_composition.h"
#include "media/caption_sync_jobs.h"
#include "media/caption_descriptions.h"
#include "media/media_stream.h"


namespace sublumen {

namespace {

// How far the piece of the automatic sync's map that streamTime lies in moves the caption time.
int32_t pieceDelta(const SyncPieces& pieces, uint32_t streamTime)
{
    int32_t delta = 0;
    for (const SyncPiece& piece : pieces) {
        if (piece.from > streamTime)
            break;
        delta = piece.delta;
    }
    return delta;
}

}

void snapCaption(System& sys, CaptionStep step)
{
    MovieState& movie = sys.movie;
    MovieItem& item = movie.currentItem;
    if (!movie.currentStream)
        return;
    const char* which = step == CaptionStep::Next ? "next" : "last";
    const uint32_t now = movie.currentStream->currentTime();
    const uint32_t shownTime = captionTime(now, item.timeshift, movie.captionRate, movie.syncPieces);
    uint32_t start = 0;
    // A caption stream brings its captions as the movie is read, so the next one may not be there yet.
    if (!movie.currentCaption || !movie.currentCaption->captionStart(shownTime, step, start, shownDescriptions(sys))) {
        debugLog("Caption sync: no %s caption at %u ms; nothing changed.\n", which, shownTime);
        return;
    }
    std::optional<SyncPoint> previous;
    if (movie.syncSnap && movie.syncSnapMovie == item.movie)
        previous = movie.syncSnap;
    const Snap snap = snapCaptionSync(previous, SyncPoint { now, start }, movie.captionRate);
    switch (snap.outcome) {
    case SnapOutcome::OutOfRange:
        debugLog("Caption sync: caption at %u ms cannot start at %u ms, the shift is out of range; nothing changed.\n",
            start, now);
        return;
    case SnapOutcome::TooClose:
        debugLog("Caption sync: snap under 5 minutes from the last one replaces it.\n");
        break;
    case SnapOutcome::RateRefused:
        debugLog("Caption sync: rate %.5f refused, outside 0.8-1.25; the rate stays.\n", snap.pairedRate);
        break;
    case SnapOutcome::Shifted:
    case SnapOutcome::RateFixed:
        break;
    }
    // Under pieces a snap moves the line of the piece it is made in; a rate fixed by two snaps is the
    // user's own map of the whole movie, and the pieces go.
    SyncPieces pieces = movie.syncPieces;
    int64_t shift = snap.sync.shift;
    if (snap.outcome == SnapOutcome::RateFixed && !pieces.empty()) {
        debugLog("Caption sync: the rate of two snaps replaces the pieces of the automatic sync.\n");
        pieces.clear();
    }
    shift -= pieceDelta(pieces, now);
    if (shift < INT32_MIN || shift > INT32_MAX) {
        debugLog("Caption sync: caption at %u ms cannot start at %u ms, the shift is out of range; nothing changed.\n",
            start, now);
        return;
    }
    setMovieSync(movie, static_cast<int32_t>(shift), snap.sync.rate, std::move(pieces));
    movie.syncSnap = SyncPoint { now, start };
    movie.syncSnapMovie = item.movie;
    debugLog("Caption sync: %s caption at %u ms starts at %u ms: shift %d, rate %.5f.\n", which, start, now,
        item.timeshift, movie.captionRate);
}

void clearCaptionSync(System& sys)
{
    MovieState& movie = sys.movie;
    setMovieSync(movie, movie.listTimeshift, 1.0, {});
    debugLog("Caption sync: cleared: shift %d, rate 1.\n", movie.currentItem.timeshift);
}

}
