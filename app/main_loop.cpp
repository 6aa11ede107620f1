#include "app/main_loop.h"

#include "app/debug_log.h"
#include "app/startup.h"
#include "app/system.h"
#include "display/display_modes.h"
#include "display/frame_composition.h"
#include "display/notice.h"
#include "display/screenshot.h"
#include "display/video_placement.h"
#include "media/caption_sync_jobs.h"
#include "media/caption_speech.h"
#include "media/media_stream.h"
#include "media/movie_memory.h"
#include "media/movie_session.h"
#include "media/movie_start.h"
#include "media/study_cards.h"
#include "media/study_mode.h"
#include "media/transcript_panel.h"
#include "platform/kernel.h"
#include "platform/window/window.h"
#include "ui/desktop.h"

#include <chrono>

namespace sublumen {

namespace {

// An update that did not answer 0 (rc, advanceMovie's result) is logged with where the movie stands once
// study mode and the A-B loop followed it.
void logAdvance(System& sys, int rc)
{
    if (rc == 0)
        return;
    MediaStream& stream = *sys.movie.currentStream;
    debugLog("xmmstream : Time=%d, RTS=%d Err=0x%X\n", static_cast<int>(stream.currentTime()), rc,
        static_cast<unsigned>(stream.lastResult));
}

// What follows the frame shown: the transcript panel's rows and line, and, for a movie that moved on, the
// caption spoken.
void followShownFrame(System& sys, const Frame& frame, bool advanced)
{
    followTranscript(sys);
    // This frame shows the panel as it is now.
    sys.transcript.frameWanted = false;
    if (advanced)
        speakCaptions(sys, frame.captionTime);
}

}

void renderFrame(System& sys)
{
    // Only a movie shown on a display advances; study mode and the A-B loop follow where it went.
    const bool advanced = sys.displays.backSurface() && movieShown(sys);
    if (advanced) {
        const int rc = advanceMovie(sys);
        followStudyAndLoop(sys);
        logAdvance(sys, rc);
    }
    // What the frame shows is read once, after the movie moved; composing and presenting only draw it.
    const Frame frame = frameOf(sys);
    followShownFrame(sys, frame, advanced);
    composeFrame(sys, frame);
    presentFrame(sys, frame);
    ++sys.playback.framesThisSecond;
}

uint32_t clockTick(System& sys)
{
    uint32_t now = calendarSeconds();
    PlaybackState& pb = sys.playback;
    if (now != pb.lastClockSecond) {
        pb.lastClockSecond = now;
        pb.framesPerSecond = pb.framesThisSecond;
        pb.framesThisSecond = 0;
    }
    return now;
}

namespace {

// A paused window still shows at once what the user does: a paused movie that was moved is composed until
// its picture at the new place shows, and a screenshot's picture, the notice, a caption job's progress and a
// change of the transcript panel are composed. Otherwise the turn waits for a message.
void waitTurn(System& sys)
{
    if ((pictureAwaited(sys) || screenshotFrameWanted(sys) || noticeFrameWanted(sys) || captionJobFrameWanted(sys)
            || sys.transcript.frameWanted)
        && sys.displays.backSurface()) {
        clockTick(sys);
        renderFrame(sys);
        return;
    }
    WaitMessage();
}

// After a Run turn's frame: the next movie when one ended while playing, else the step the user asked for.
void stepMovies(System& sys)
{
    PlaybackState& pb = sys.playback;
    MediaStream* stream = sys.movie.currentStream.get();
    bool attempted = false;
    int rc = 0;
    if (stream && pb.isPlaying != 0 && stream->ended) {
        // The end of a movie replaces whatever steps the user had asked for.
        pb.movieStep = 1;
        rc = startPlayableMovie(sys, 1);
        attempted = true;
    } else {
        if (!stream || pb.isPlaying == 0)
            Sleep(100);
        if (pb.movieStep != 0) {
            rc = startPlayableMovie(sys, pb.movieStep);
            attempted = true;
        }
    }
    if (attempted) {
        if (rc < 0)
            pb.isPlaying = 0;
        pb.movieStep = 0;
    }
}

}

void idleTurn(System& sys)
{
    PlaybackState& pb = sys.playback;
    MediaStream* stream = sys.movie.currentStream.get();
    noteDesktopState(sys);
    noteSavedScreenshots(sys);
    takeCaptionJob(sys);
    noteSavedCards(sys);
    noteSoundDevice(sys);
    noteSpeechService(sys);
    switch (pb.playState) {
    case PlayState::Wait:
        // A step to another movie takes its Run turn now.
        if (pb.movieStep != 0)
            break;
        waitTurn(sys);
        return;
    case PlayState::Resume:
        if (stream)
            stream->setRun(pb.isPlaying);
        pb.playState = PlayState::Run;
        return;
    case PlayState::Suspend:
        pb.playState = PlayState::Wait;
        if (stream)
            stream->setRun(0);
        return;
    default:
        break;
    }

    pb.playState = PlayState::Run;
    clockTick(sys);
    renderFrame(sys);
    stepMovies(sys);
    saveMoviePosition(sys, std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch()).count());
}

int ReInit(System& sys)
{
    Settings& s = sys.settings;
    PlaybackState& pb = sys.playback;
    debugLog(">>> ReInit... %dx%dx%d\n", s.screenx, s.screeny, s.bpp);

    bool hadStream = false;
    int32_t wasPlaying = 0;
    uint32_t position = 0;
    const int32_t stateBefore = pb.playState;
    if (MediaStream* stream = sys.movie.currentStream.get()) {
        wasPlaying = pb.isPlaying;
        stream->setRun(0);
        position = stream->currentTime();
        // The same movie opens again at once: what the user set for it stays in memory, unwritten.
        holdMovieMemory(sys);
        closeMovieStream(sys);
        hadStream = true;
    }
    debugLog(">>> ReInit... %d\n", 1);

    LONG style = s.fullscreen != 0 ? WS_POPUP : (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    SetWindowLongA(sys.window.mainWindow, GWL_STYLE, style);
    UpdateWindow(sys.window.mainWindow);
    debugLog(">>> ReInit... %d\n", 2);

    releaseDisplay(sys);
    if (ddEnum(sys) < 0) {
        debugLog("DD Mode change fail.\n");
        return -1;
    }
    debugLog(">>> ReInit... %d\n", 3);

    if (hadStream) {
        // A reopen, not a start: the movie goes on where it was (one seek), not where it was last saved,
        // and the notice shown stays.
        const NoticeState notice = sys.notice;
        startMovie(sys, 0);
        storeHeldMovieMemory(sys);
        sys.notice = notice;
        if (MediaStream* stream = sys.movie.currentStream.get()) {
            seekMovie(sys, position);
            pb.isPlaying = wasPlaying;
            stream->setRun(pb.isPlaying);
            // The start set the loop composing; a paused movie keeps the loop's state (a paused window
            // sleeps again once the picture at its place is shown in the new mode).
            if (pb.isPlaying == 0)
                pb.playState = stateBefore;
        }
    }
    debugLog(">>> ReInit... %d\n", 4);
    computeVideoPlacement(sys);
    debugLog("ReInit success.\n");
    if (MediaStream* stream = sys.movie.currentStream.get())
        stream->setRun(pb.isPlaying);
    pb.reinitRequest = 0;
    return 0;
}

LoopOutcome loopTurn(System& sys, HACCEL accelerators)
{
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            return LoopOutcome::End;
        if (!TranslateAcceleratorA(sys.window.mainWindow, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        // An idle turn runs only once the queue is empty.
        return LoopOutcome::Continue;
    }
    idleTurn(sys);
    if (sys.playback.reinitRequest && ReInit(sys) < 0)
        return LoopOutcome::End;
    return LoopOutcome::Continue;
}

int winMain(System& sys, HINSTANCE instance, const char* commandTail)
{
    sys.playback.instance = instance;
    if (initAll(sys, commandTail) < 0) {
        debugLog("Init Fail. End.\n");
        deinitAll(sys);
        return -1;
    }
    debugLog("Init Ok. Start\n");
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(102));
    while (loopTurn(sys, accelerators) == LoopOutcome::Continue) { }
    deinitAll(sys);
    return 0;
}

}
