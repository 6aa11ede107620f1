// The process-wide state of the player, composed of the groups each subsystem defines in its own
// folder. The entry routine creates one System; tests build a fresh one each. Field names are the
// system's own.
#pragma once

#include "app/settings.h"
#include "display/display_state.h"
#include "display/video_placement.h"
#include "media/movie_state.h"
#include "media/speech_state.h"
#include "media/study_state.h"
#include "media/transcript_state.h"
#include "platform/win32.h"
#include "ui/ui_state.h"

#include <cstdint>

namespace sublumen {

// The values of playState, which is kept as the 32-bit number they stand for.
namespace PlayState {
enum Value : int32_t { Run = 0, Wait = 1, Resume = 2, Suspend = 3 };
}

// Main loop and playback state.
struct PlaybackState {
    int32_t playState = PlayState::Run;
    int32_t isPlaying = 0;
    int32_t movieStep = 0;
    uint8_t reinitRequest = 0;
    uint32_t framesThisSecond = 0;
    uint32_t framesPerSecond = 0;
    uint32_t lastClockSecond = 0;
    HINSTANCE instance = nullptr;
    // The playback speed the user chose (media/playback_speed.h): every movie started plays at it, the
    // next one of a list too. Not saved.
    double speed = 1.0;
};

// Start-up and shutdown.
struct StartupState {
    char startPath[1024] = "";
    // The caption file the run was started from, when it was one; its movie is then startPath.
    char startCaption[1024] = "";
    char programDir[1024] = ".";
    HFONT captionFont = nullptr;
    HFONT overlayFont = nullptr;
    HFONT seekBarFont = nullptr;
};

struct System {
    Settings settings;
    PlaybackState playback;
    StartupState startup;
    WindowState window;
    CommandState commands;
    MovieState movie;
    DisplayGlobals displays;
    VideoPlacement videoPlacement;
    CompositionState composition;
    ScreenshotState screenshots;
    NoticeState notice;
    StudyState study;
    TranscriptState transcript;
    CardState cards;
    CaptionSpeechState speech;
};

// The four caption faces, indexed by fontface.
extern const char* const fontFaceTable[4];

}
