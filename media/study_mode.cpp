#include "media/study_mode.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "caption/caption_sync.h"
#include "display/frame_composition.h"
#include "display/notice.h"
#include "media/caption_descriptions.h"
#include "media/media_stream.h"
#include "media/movie_session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace sublumen {

namespace {

// How long the notice of a change stays, in calendar seconds.
constexpr uint32_t noticeSeconds = 3;
// A longer step between two frames is a stall, a seek or a pause, not the frame rate.
constexpr uint32_t longestFrameStep = 250;
// A loop shorter than this would do nothing but seek: its B counts as A.
constexpr uint32_t shortestLoop = 100;
// Back this far before the point where the movie paused is a move of the user, not the clock's jitter.
constexpr uint32_t rewindTolerance = 100;

void notify(System& sys, std::string text)
{
    showNotice(sys, std::move(text), noticeSeconds);
}

// "mm:ss.t", minutes beyond 99 with more digits.
std::string clockText(uint32_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u.%u", ms / 60000u, (ms / 1000u) % 60u, (ms / 100u) % 10u);
    return text;
}

std::string loopText(uint32_t a, uint32_t b)
{
    return "구간 반복 " + clockText(a) + "~" + clockText(b);
}

bool isBlankText(const char* text)
{
    return text[std::strspn(text, " \t\r\n")] == '\0';
}

// Whether the movie has a caption for study mode to stop after.
bool hasCaptions(const System& sys)
{
    const Caption* caption = sys.movie.currentCaption.get();
    if (!caption)
        return false;
    // The track of the movie's own caption stream fills while it plays.
    if (caption->isCueTrack() || !caption->classes.empty())
        return true;
    for (const ListNode* node = caption->entries; node; node = node->next)
        if (!isBlankText(static_cast<const CaptionEntry*>(node->data)->text))
            return true;
    return false;
}

void sayNoCaptions(System& sys)
{
    debugLog("Study mode: no captions.\n");
    notify(sys, "자막이 없어 멈출 곳 없음");
}

// Another movie starts without the last one's loop and pause point; study mode goes on, and says once
// when the new movie gives it nothing to do. A movie reopened in place (a display change) keeps them.
void followMovie(System& sys)
{
    StudyState& st = sys.study;
    if (st.moviePath == sys.movie.currentItem.movie)
        return;
    st.moviePath = sys.movie.currentItem.movie;
    st.loopPhase = LoopPhase::None;
    st.held = false;
    st.timed = false;
    if (st.studyMode && !hasCaptions(sys))
        sayNoCaptions(sys);
}

uint32_t clampToMovie(int64_t time, uint32_t duration)
{
    return static_cast<uint32_t>(std::clamp<int64_t>(time, 0, duration));
}

}

void toggleStudyMode(System& sys)
{
    followMovie(sys);
    StudyState& st = sys.study;
    st.studyMode = !st.studyMode;
    st.held = false;
    debugLog("Study mode %s.\n", st.studyMode ? "on" : "off");
    if (!st.studyMode)
        notify(sys, "자막마다 멈춤 끔");
    else if (!hasCaptions(sys))
        sayNoCaptions(sys);
}

void markLoopPoint(System& sys)
{
    MediaStream* stream = sys.movie.currentStream.get();
    const uint32_t duration = sys.movie.movieDuration;
    if (!stream || duration == 0)
        return;
    followMovie(sys);
    StudyState& st = sys.study;
    const uint32_t time = stream->currentTime();
    const uint32_t now = std::min(time, duration);

    switch (st.loopPhase) {
    case LoopPhase::None:
        st.loopA = now;
        st.loopPhase = LoopPhase::AMarked;
        debugLog("Loop A=%u\n", now);
        notify(sys, "구간 반복 A=" + clockText(now));
        break;
    case LoopPhase::AMarked: {
        if (time > duration)
            debugLog("Loop B=%u beyond the end, B=%u\n", time, duration);
        uint32_t a = st.loopA;
        uint32_t b = now;
        if (b < a) {
            std::swap(a, b);
            debugLog("Loop A and B swapped.\n");
        }
        if (b - a < shortestLoop) {
            debugLog("Loop B at A refused: A=%u B=%u\n", a, b);
            notify(sys, "B가 A와 같음: B를 다시 지정");
            break;
        }
        st.loopA = a;
        st.loopB = b;
        st.loopPhase = LoopPhase::Looping;
        debugLog("Loop A=%u B=%u\n", a, b);
        notify(sys, loopText(a, b));
        break;
    }
    case LoopPhase::Looping:
        st.loopPhase = LoopPhase::None;
        debugLog("Loop cleared.\n");
        notify(sys, "구간 반복 해제");
        break;
    }
}

bool loopCurrentCaption(System& sys)
{
    StudyState& st = sys.study;
    if (!st.studyMode)
        return false;
    MediaStream* stream = sys.movie.currentStream.get();
    Caption* caption = sys.movie.currentCaption.get();
    const uint32_t duration = sys.movie.movieDuration;
    if (!stream || !caption || duration == 0)
        return true;
    followMovie(sys);
    const int32_t shift = sys.movie.currentItem.timeshift;
    const double rate = sys.movie.captionRate;
    const SyncPieces& pieces = sys.movie.syncPieces;
    uint32_t start = 0;
    if (!caption->captionStart(captionTime(stream->currentTime(), shift, rate, pieces), CaptionStep::Current, start, shownDescriptions(sys)))
        return true;
    const uint32_t a = clampToMovie(streamTimeOfCaption(start, shift, rate, pieces), duration);
    uint32_t end = 0;
    // The caption runs until what is shown changes, or to the end of the movie when nothing follows.
    const uint32_t b = caption->shownEnd(start, end, shownDescriptions(sys)) && end != endMarker
        ? clampToMovie(streamTimeOfCaption(end, shift, rate, pieces), duration)
        : duration;
    if (b - a >= shortestLoop) {
        st.loopA = a;
        st.loopB = b;
        st.loopPhase = LoopPhase::Looping;
        debugLog("Loop A=%u B=%u\n", a, b);
        notify(sys, loopText(a, b));
    }
    st.held = false;
    st.timed = false;
    seekMovie(sys, a);
    if (sys.playback.isPlaying == 0)
        setMoviePlaying(sys, 1);
    return true;
}

void followStudyAndLoop(System& sys)
{
    StudyState& st = sys.study;
    MediaStream* stream = sys.movie.currentStream.get();
    if (!stream || sys.movie.movieDuration == 0 || sys.playback.isPlaying == 0) {
        st.timed = false;
        return;
    }
    followMovie(sys);

    // The next frame comes about as far on as the last one did.
    const uint32_t t = stream->currentTime();
    if (st.timed && t > st.lastTime && t - st.lastTime <= longestFrameStep)
        st.frameStep = t - st.lastTime;
    st.timed = true;
    st.lastTime = t;
    const uint64_t next = static_cast<uint64_t>(t) + st.frameStep;

    if (st.loopPhase == LoopPhase::Looping && (next >= st.loopB || stream->ended)) {
        const bool ended = stream->ended != 0;
        seekMovie(sys, st.loopA);
        // The end of the stream stopped it; the loop goes on.
        if (ended)
            runMovie(sys, 1);
        st.timed = false;
        return;
    }

    Caption* caption = sys.movie.currentCaption.get();
    if (!st.studyMode || !caption)
        return;
    const int32_t shift = sys.movie.currentItem.timeshift;
    const double rate = sys.movie.captionRate;
    const SyncPieces& pieces = sys.movie.syncPieces;
    const uint32_t ct = captionTime(t, shift, rate, pieces);
    if (st.held && static_cast<uint64_t>(ct) + rewindTolerance < st.heldAt)
        st.held = false;
    uint32_t end = 0;
    if (!caption->shownEnd(ct, end, shownDescriptions(sys)) || end == endMarker)
        return;
    // Gone on with Space from this very end.
    if (st.held && end == st.heldEnd)
        return;
    // At the loop's end the loop plays the caption again instead.
    if (st.loopPhase == LoopPhase::Looping && streamTimeOfCaption(end, shift, rate, pieces) >= st.loopB)
        return;
    // The next frame's step, in caption time.
    if (static_cast<uint64_t>(ct) + static_cast<uint64_t>(st.frameStep * rate + 0.5) < end)
        return;
    debugLog("Study pause=%u, caption end %u\n", ct, end);
    st.held = true;
    st.heldEnd = end;
    st.heldAt = ct;
    setMoviePlaying(sys, 0);
}

std::string studyStatusText(const System& sys)
{
    return sys.study.studyMode ? "자막마다 멈춤" : "";
}

}
