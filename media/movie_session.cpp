#include "media/movie_session.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "caption/caption_formats.h"
#include "caption/caption_sync.h"
#include "caption/picture_caption.h"
#include "caption/text_cues.h"
#include "media/audio_choice.h"
#include "media/caption_descriptions.h"
#include "media/media_stream.h"
#include "media/movie_memory.h"
#include "media/picture_reading.h"
#include "media/playback_speed.h"
#include "media/sound_mode.h"
#include "media/study_mode.h"

#include <algorithm>
#include <new>

namespace sublumen {

namespace {

constexpr int32_t playingStallLimit = 12;
constexpr int32_t afterSeekStallLimit = 24;

// A moved stream refills its decoder, so it gets the longer limit until it delivers or ends.
void startAfterSeek(CompositionState& c)
{
    c.stallLimit = afterSeekStallLimit;
    c.stallCount = 0;
    c.stallPhase = StallPhase::AfterSeek;
}

void startPlaying(CompositionState& c)
{
    c.stallLimit = playingStallLimit;
    c.stallCount = 0;
    c.stallPhase = StallPhase::Playing;
}

}

void ReleaseStream::operator()(MediaStream* stream) const
{
    stream->release();
    delete stream;
}

void UnloadCaption::operator()(Caption* caption) const
{
    caption->unload();
    delete caption;
}

MediaStream* openMovieStream(System& sys, const char* path)
{
    sys.movie.currentStream.reset(new (std::nothrow) MediaStream(sys.displays.display.get(), path));
    // The speed and the sound mode chosen stay from movie to movie.
    applyPlaybackSpeed(sys);
    applySoundMode(sys);
    return sys.movie.currentStream.get();
}

Caption* openMovieCaption(System& sys, const char* fileName)
{
    sys.movie.currentCaption.reset(new (std::nothrow) Caption(fileName));
    return sys.movie.currentCaption.get();
}

namespace {

// The text track of picture captions: of the file fileName, or with none of the movie's caption stream
// numbered stream (-1: the one the movie reads by itself).
Caption* pictureCaptionTrack(System& sys, const char* fileName, int32_t stream)
{
    std::unique_ptr<PictureCaption> pictures(
        fileName ? new (std::nothrow) PictureCaption(fileName) : new (std::nothrow) PictureCaption());
    Caption* track = new (std::nothrow) Caption(nullptr);
    if (!pictures || !track) {
        delete track;
        return nullptr;
    }
    if (!fileName) {
        std::vector<int32_t> decoded;
        MediaStream* movie = sys.movie.currentStream.get();
        if (movie && stream < 0) {
            movie->captionStreams(&decoded);
            stream = decoded.empty() ? -1 : decoded.front();
        }
        pictures->stream = stream;
        if (movie)
            for (const CaptionStreamTrack& t : movie->captionStreams())
                if (t.index == stream)
                    pictures->language = t.language;
    }
    track->loadResult = pictures->loadResult;
    track->beginPictureTrack(std::move(pictures));
    return track;
}

}

Caption* openPictureCaption(System& sys, const char* fileName, int32_t stream)
{
    sys.movie.currentCaption.reset(pictureCaptionTrack(sys, fileName, stream));
    return sys.movie.currentCaption.get();
}

Caption* openSecondPictureCaption(System& sys, const char* fileName, int32_t stream)
{
    sys.movie.secondCaption.reset(pictureCaptionTrack(sys, fileName, stream));
    return sys.movie.secondCaption.get();
}

bool openCaptionFile(System& sys, const char* fileName)
{
    if (fileName && captionFormatOfFile(fileName).picture)
        return openPictureCaption(sys, fileName) != nullptr;
    return openMovieCaption(sys, fileName) != nullptr;
}

bool openStreamCaption(System& sys)
{
    MediaStream* stream = sys.movie.currentStream.get();
    char name[64];
    if (!stream || !stream->captionStreamName(name, sizeof name))
        return false;
    if (stream->captionStreamIsPicture())
        return openPictureCaption(sys, nullptr, -1) != nullptr;
    Caption* track = openMovieCaption(sys, nullptr);
    if (track) {
        track->beginCueTrack();
        // An SSA/ASS stream is drawn as authored.
        if (auto style = stream->captionStyle())
            track->authored = platform::AuthoredCaptions::fromStream(*style);
    }
    return track != nullptr;
}

void closeMovieStream(System& sys)
{
    // The movie ends with its stream: what the user set for it is kept for its next start.
    keepHeardAudio(sys);
    rememberMovie(sys);
    sys.movie.currentStream.reset();
}

void closeMovieCaption(System& sys)
{
    sys.movie.secondCaption.reset();
    sys.movie.currentCaption.reset();
}

void closeFirstCaption(System& sys)
{
    sys.movie.currentCaption.reset();
}

Caption* openSecondCaption(System& sys, const char* fileName)
{
    sys.movie.secondCaption.reset(new (std::nothrow) Caption(fileName));
    return sys.movie.secondCaption.get();
}

void closeSecondCaption(System& sys)
{
    sys.movie.secondCaption.reset();
}

void closeMovie(System& sys)
{
    closeMovieStream(sys);
    closeMovieCaption(sys);
    sys.movie.movieDuration = 0;
}

int seekMovie(System& sys, uint32_t milliseconds)
{
    if (!sys.movie.currentStream)
        return -1;
    startAfterSeek(sys.composition);
    sys.composition.frameStepped = false;
    return sys.movie.currentStream->seek(milliseconds);
}

int runMovie(System& sys, int mode)
{
    if (!sys.movie.currentStream)
        return -1;
    startAfterSeek(sys.composition);
    sys.composition.frameStepped = false;
    return sys.movie.currentStream->setRun(mode);
}

int stepMovieFrame(System& sys, bool forward)
{
    MediaStream* stream = sys.movie.currentStream.get();
    if (!stream)
        return -1;
    // A running movie would run away from the step at once; pause first.
    if (stream->getState() == 1) {
        debugLog("FrameStep : only while paused.\n");
        return 2;
    }
    if (stream->stepFrame(forward ? 1 : -1) != 0) {
        debugLog("FrameStep : no picture there. Stays.\n");
        return 1;
    }
    startAfterSeek(sys.composition);
    sys.composition.frameStepped = true;
    return 0;
}

void setMoviePlaying(System& sys, int32_t playing)
{
    if (!sys.movie.currentStream)
        return;
    sys.playback.isPlaying = playing;
    runMovie(sys, playing);
    if (playing == 1)
        sys.playback.playState = PlayState::Run;
    else if (playing == 0 && sys.settings.fullscreen == 0)
        sys.playback.playState = PlayState::Wait;
}

void togglePause(System& sys, CommandArgument)
{
    // A stream object that failed to open answers -1; it counts as running, so Space leaves it stopped
    // rather than asking the loop to play a movie that is not there.
    if (sys.movie.currentStream)
        setMoviePlaying(sys, sys.movie.currentStream->getState() == 0 ? 1 : 0);
}

void pauseMovie(System& sys, CommandArgument argument)
{
    if (sys.movie.currentStream && sys.playback.isPlaying != 0)
        togglePause(sys, argument);
}

void playMovie(System& sys, CommandArgument argument)
{
    if (sys.movie.currentStream && sys.playback.isPlaying == 0)
        togglePause(sys, argument);
}

void stopMovie(System& sys, CommandArgument)
{
    pauseMovie(sys, {});
    seekTo(sys, { .value = 0 });
}

void seekBy(System& sys, CommandArgument argument)
{
    if (!sys.movie.currentStream)
        return;
    const int64_t target = static_cast<int64_t>(sys.movie.currentStream->currentTime()) + argument.value;
    seekMovie(sys, static_cast<uint32_t>(std::clamp<int64_t>(target, 0, sys.movie.movieDuration)));
}

void seekTo(System& sys, CommandArgument argument)
{
    if (sys.movie.currentStream)
        seekMovie(sys, static_cast<uint32_t>(std::clamp<int64_t>(argument.value, 0, sys.movie.movieDuration)));
}

void setPosition(System& sys, CommandArgument argument)
{
    // A position past the end is ignored, as the desktop's players do.
    if (argument.value >= 0 && argument.value <= sys.movie.movieDuration)
        seekTo(sys, argument);
}

void seekCaption(System& sys, CommandArgument argument)
{
    MovieState& movie = sys.movie;
    if (!movie.currentStream || (argument.value == 0 && loopCurrentCaption(sys)) || !movie.currentCaption)
        return;
    const CaptionStep step = argument.value < 0 ? CaptionStep::Previous
        : argument.value > 0                    ? CaptionStep::Next
                                                : CaptionStep::Current;
    const int32_t shift = movie.currentItem.timeshift;
    const double rate = movie.captionRate;
    const SyncPieces& pieces = movie.syncPieces;
    uint32_t start = 0;
    if (!movie.currentCaption->captionStart(captionTime(movie.currentStream->currentTime(), shift, rate, pieces), step, start,
            shownDescriptions(sys)))
        return;
    const int64_t target = streamTimeOfCaption(start, shift, rate, pieces);
    seekMovie(sys, static_cast<uint32_t>(std::clamp<int64_t>(target, 0, movie.movieDuration)));
}

void stepFrame(System& sys, CommandArgument argument)
{
    stepMovieFrame(sys, argument.value > 0);
}

bool pictureAwaited(const System& sys)
{
    // A stream that did not open, or opened empty, is never advanced, so it never shows a picture.
    return sys.movie.currentStream && sys.movie.movieDuration != 0 && sys.composition.stallPhase == StallPhase::AfterSeek;
}

void takeStreamCaptions(System& sys)
{
    if (!sys.movie.currentStream)
        return;
    std::vector<TextCue> cues;
    std::vector<int32_t> streams;
    std::vector<platform::CaptionText> events;
    sys.movie.currentStream->takeCaptionCues(cues, &streams, &events);
    // Picture captions go to the first caption when it is the picture stream the movie reads (a second one
    // of pictures is read ahead by its own reading, media/picture_reading.h).
    std::vector<platform::CaptionPictureHandle> pictures;
    sys.movie.currentStream->takeCaptionPictures(pictures);
    Caption* first = sys.movie.currentCaption.get();
    Caption* second = sys.movie.secondCaption.get();
    if (!pictures.empty() && first && first->pictures && first->pictures->stream >= 0)
        first->addPictures(std::move(pictures));
    // Taken every frame even when a caption file is shown instead, so they never pile up.
    if (cues.empty())
        return;
    // Only tracks of text streams take texts.
    if (first && (!first->isCueTrack() || first->pictures))
        first = nullptr;
    if (second && (!second->isCueTrack() || second->pictures))
        second = nullptr;
    // A track of the stream the movie reads by itself (-1) takes every cue no other track claims.
    auto firstTakes = [&](int32_t stream) {
        return first && (first->cueStream < 0 || stream == first->cueStream)
            && !(first->cueStream < 0 && second && stream == second->cueStream);
    };
    // The first caption's SSA/ASS events also go, as read, to its drawing as authored.
    if (first && first->authored) {
        for (size_t i = 0; i < events.size() && i < streams.size(); ++i) {
            const platform::CaptionText& event = events[i];
            if (!event.assLine || !firstTakes(streams[i]))
                continue;
            const auto start = std::chrono::duration_cast<std::chrono::milliseconds>(event.start).count();
            const auto end = std::chrono::duration_cast<std::chrono::milliseconds>(event.end).count();
            first->authored->addEvent(start, end - start, event.text);
        }
    }
    std::vector<TextCue> firstCues, secondCues;
    for (size_t i = 0; i < cues.size(); ++i) {
        if (second && streams[i] == second->cueStream)
            secondCues.push_back(cues[i]);
        if (firstTakes(streams[i]))
            firstCues.push_back(std::move(cues[i]));
    }
    if (first && !firstCues.empty())
        first->addCues(std::move(firstCues));
    if (second && !secondCues.empty())
        second->addCues(std::move(secondCues));
}

int advanceMovie(System& sys)
{
    MediaStream& stream = *sys.movie.currentStream;
    CompositionState& c = sys.composition;
    int rc = stream.update();
    takeStreamCaptions(sys);
    followPictureReading(sys);
    if (rc == 2) {
        ++c.stallCount;
        if (c.stallCount > c.stallLimit && sys.settings.quickskip != 0) {
            uint32_t t = stream.currentTime();
            // A skip that follows a seek or a skip goes back a little, so the picture catches up before
            // the sound.
            uint32_t target = t;
            if (c.stallPhase == StallPhase::AfterSeek)
                target = t >= 3000 ? t - 3000 : 0;
            seekMovie(sys, target);
        }
    } else if (rc != 1) {
        startPlaying(c);
    }
    return rc;
}

}
