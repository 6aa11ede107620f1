// The process-wide state of the player, grouped by the subsystem that owns each variable. The entry
// routine creates one System; tests build a fresh one each. Field names are the system's own.
#pragma once

#include "app/settings.h"
#include "caption/caption_sync.h"
#include "display/display_device.h"
#include "display/video_placement.h"
#include "media/movie_item.h"
#include "media/movie_session.h"
#include "platform/win32.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace platform {
class PictureFileWriter;
}

namespace sublumen {

class Display;
class DisplaySurface;
struct MovieList;

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

// Main window.
struct WindowState {
    HWND mainWindow = nullptr;
    uint32_t lastMouseTime = 0;
};

enum PictureFlag : int32_t { EnhanceImage = 1, FlipVertical = 4 };

// Keyboard commands and volume.
struct CommandState {
    int32_t volume = 0;
    int32_t pictureFlags = 0;
};

// Movie list, caption discovery and movie start. The stream and caption track are opened and closed
// only through the movie session (media/movie_session.h).
struct MovieState {
    MovieList* movieList = nullptr;
    MovieItem currentItem {};
    // Declared before the stream so that, as at every movie change, the stream goes first.
    CaptionHandle currentCaption;
    // The picture captions shown beside (or instead of) the caption track: of a picture caption file, or
    // of the movie's picture caption stream when pictureCaptionOfStream.
    PictureCaptionHandle pictureCaption;
    bool pictureCaptionOfStream = false;
    StreamHandle currentStream;
    uint32_t movieDuration = 0;
    // The movie whose remembered settings were recalled at its start (absolute path), and the list's own
    // time shift, so that its end can tell what the user changed; empty when nothing is to be written.
    std::string memoryPath;
    int32_t listTimeshift = 0;
    // The movie's remembered named fields (audio stream, position, …), each read and changed by its own
    // feature and written with the rest at the movie's end.
    std::map<std::string, std::string> memoryFields;
    // Caption time = stream time × captionRate + currentItem's timeshift (caption/caption_sync.h): 1 unless
    // the user's sync snaps fixed it; remembered per movie in memoryFields. The last snap, and the movie
    // it was made in, is what the next snap pairs with; it is not remembered.
    double captionRate = 1.0;
    std::optional<SyncPoint> syncSnap;
    std::string syncSnapMovie;
    // The file name of the last list movie that could not be opened and passed over, and the calendar
    // second it was, for the status bar's notice; empty when there is none.
    std::string unopenedMovie;
    uint32_t unopenedSince = 0;
    // Resuming: the list file the list was built from (absolute; empty for a single movie), and the list and
    // item (1-based, and whether it is the last) the playing movie came from; the remembered position the
    // movie resumed at (0: it did not) and the calendar second it did, for the status bar; when the position
    // was last saved while playing (steady milliseconds).
    std::string listMemoryPath;
    std::string playedList;
    int32_t playedItem = 0;
    bool playedItemLast = false;
    uint32_t resumedAt = 0;
    uint32_t resumedSince = 0;
    int64_t positionSavedAt = 0;
};

// Display devices and modes.
struct DisplayGlobals {
    Display* display = nullptr;
    DisplaySurface* backSurface = nullptr;
    DisplayDevice displayDevices[4] {};
    int32_t displayDeviceCount = 0;
};

// Where the stall rule stands: normal playback, or refilling after the stream was moved (a seek, a
// start, Space or a quick skip) until the next update that is neither busy nor waiting.
enum class StallPhase { Playing, AfterSeek };

// Frame composition. The stall fields are written only by the movie session, which moves the stream and
// applies the rule.
struct CompositionState {
    int32_t stallCount = 0;
    int32_t stallLimit = 12;
    StallPhase stallPhase = StallPhase::Playing;
    // The result of the last picture copy: a refusal is logged only when it follows a good copy or
    // changes its code, not on every frame.
    int32_t blitResult = 0;
    // The paused picture was reached by frame steps: the status bar shows its time to the millisecond.
    // Set by a step, cleared by every seek, run and stop.
    bool frameStepped = false;
};

// Screenshots: the writer that encodes and saves them off the main thread (made at the first one), the
// F12 presses waiting for the next composed frame and the folder they go to, and the status bar's notice
// of the last result with the calendar second it came.
struct ScreenshotState {
    std::shared_ptr<platform::PictureFileWriter> writer;
    int32_t composedWanted = 0;
    std::string folder;
    std::string notice;
    uint32_t noticeSince = 0;
    // The notice on the last composed frame, empty for none: a paused window composes again when it changes.
    std::string noticeDrawn;
};

// Where the A-B loop stands: nothing marked, A marked, or looping from A to B.
enum class LoopPhase { None, AMarked, Looping };

// Study mode and the A-B loop (media/study_mode.cpp); neither is saved.
struct StudyState {
    bool studyMode = false;
    LoopPhase loopPhase = LoopPhase::None;
    // Movie times of the loop's ends, loopA before loopB once looping.
    uint32_t loopA = 0;
    uint32_t loopB = 0;
    // The movie the loop and the pause below belong to; another movie starts without them.
    std::string moviePath;
    // The caption end the movie last paused at, and the caption time it paused at: going on with Space
    // must not stop there again, going back before it must.
    bool held = false;
    uint32_t heldEnd = 0;
    uint32_t heldAt = 0;
    // The stream time of the last frame looked at, for how far the next one will be.
    bool timed = false;
    uint32_t lastTime = 0;
    // How far the stream moved between the last two frames: how far the next one will be. Before any
    // was measured, a frame of a movie of 25 frames a second.
    uint32_t frameStep = 40;
    // The last change, shown in the status bar for three seconds from the calendar second noticeSince.
    std::string notice;
    uint32_t noticeSince = 0;
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
    StudyState study;
};

// The four caption faces, indexed by fontface.
extern const char* const fontFaceTable[4];

}
