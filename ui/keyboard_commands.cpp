#include "ui/keyboard_commands.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "caption/caption_sync.h"
#include "display/frame_composition.h"
#include "display/screenshot.h"
#include "display/video_placement.h"
#include "media/audio_choice.h"
#include "media/caption_choice.h"
#include "media/caption_descriptions.h"
#include "media/caption_look.h"
#include "media/media_stream.h"
#include "media/movie_session.h"
#include "media/playback_speed.h"
#include "media/study_mode.h"
#include "platform/gdi/gdi.h"
#include "platform/window/window.h"
#include "ui/caption_sync_keys.h"
#include "ui/volume.h"

#include <algorithm>

namespace sublumen {

namespace {

struct Resolution {
    int32_t width;
    int32_t height;
};
constexpr Resolution resolutionTable[8] = {
    { 320, 240 }, { 640, 480 }, { 800, 600 }, { 1024, 768 },
    { 1280, 960 }, { 1600, 1200 }, { 1920, 1440 }, { 2048, 1536 },
};

// Settings come from a file and may hold any value; these keep the arithmetic defined at the extremes
// by wrapping in 32 bits, which the stored values rely on.
int32_t wrappingAdd(int32_t value, int32_t step)
{
    return static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(step));
}

int32_t oneMinus(int32_t value)
{
    return static_cast<int32_t>(1u - static_cast<uint32_t>(value));
}

void seekBack(System& sys, uint32_t amount)
{
    uint32_t now = sys.movie.currentStream->currentTime();
    seekMovie(sys, now < amount ? 0 : now - amount);
}

void seekForward(System& sys, uint32_t amount)
{
    uint32_t now = sys.movie.currentStream->currentTime();
    uint32_t duration = sys.movie.movieDuration;
    uint32_t sum = now + amount;
    seekMovie(sys, sum >= duration ? duration : sum);
}

// Ctrl+Left, Ctrl+Right and Ctrl+Up: to the start of the previous, next or current caption of what is
// shown, the caption time shift taken off so that the caption starts as the picture gets there.
void seekToCaption(System& sys, CaptionStep step)
{
    if (!sys.movie.currentCaption)
        return;
    const int32_t shift = sys.movie.currentItem.timeshift;
    const double rate = sys.movie.captionRate;
    const uint32_t now = captionTime(sys.movie.currentStream->currentTime(), shift, rate);
    uint32_t start = 0;
    if (!sys.movie.currentCaption->captionStart(now, step, start, shownDescriptions(sys)))
        return;
    int64_t target = streamTimeOfCaption(start, shift, rate);
    target = std::clamp<int64_t>(target, 0, sys.movie.movieDuration);
    seekMovie(sys, static_cast<uint32_t>(target));
}

void togglePause(System& sys)
{
    // A stream object that failed to open answers -1; it counts as running, so Space leaves it stopped
    // rather than asking the loop to play a movie that is not there.
    setMoviePlaying(sys, sys.movie.currentStream->getState() == 0 ? 1 : 0);
}

}

void selectResolution(System& sys, int digit)
{
    if (digit < 1 || digit > 8) {
        sys.settings.screenx = 640;
        sys.settings.screeny = 480;
        return;
    }
    sys.settings.screenx = resolutionTable[digit - 1].width;
    sys.settings.screeny = resolutionTable[digit - 1].height;
    if (digit == 1)
        sys.settings.bpp = 16;
}

bool selectDesktopResolution(System& sys)
{
    int width = 0, height = 0;
    // Full screen shows the desktop mode itself; a window, with its frame, must stay clear of the panels.
    const bool known = sys.settings.fullscreen != 0 ? platform::desktopSize(sys.window.mainWindow, width, height)
                                                    : platform::usableClientSize(sys.window.mainWindow, width, height);
    if (!known) {
        debugLog("Desktop size unknown. Mode unchanged.\n");
        return false;
    }
    sys.settings.screenx = width;
    sys.settings.screeny = height;
    sys.settings.bpp = 32;
    return true;
}

void recreateCaptionFont(System& sys, int weight)
{
    if (sys.startup.captionFont)
        DeleteObject(sys.startup.captionFont);
    sys.startup.captionFont = platform::createFont(sys.settings.fontsize, weight,
        fontFaceTable[sys.settings.fontface & 3]);
}

int onKeyDown(System& sys, int virtualKey)
{
    debugLog("KeyDown=0x%02X\n", virtualKey);
    return runKeyCommand(sys, virtualKey);
}

int runKeyCommand(System& sys, int virtualKey)
{
    Settings& s = sys.settings;
    const bool hasStream = sys.movie.currentStream != nullptr;
    const bool control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    int32_t& style = s.captionstyle;

    switch (virtualKey) {
    case VK_ESCAPE:
        PostQuitMessage(0);
        break;
    case VK_SPACE:
        if (hasStream)
            togglePause(sys);
        break;
    case VK_PRIOR:
        if (hasStream)
            seekBack(sys, 60000);
        break;
    case VK_NEXT:
        if (hasStream)
            seekForward(sys, 60000);
        break;
    case VK_END:
        if (hasStream)
            seekMovie(sys, sys.movie.movieDuration);
        break;
    case VK_HOME:
        if (hasStream)
            seekMovie(sys, 0);
        break;
    case VK_LEFT:
        if (hasStream && control)
            seekToCaption(sys, CaptionStep::Previous);
        else if (hasStream)
            seekBack(sys, 6000);
        break;
    case VK_RIGHT:
        if (hasStream && control)
            seekToCaption(sys, CaptionStep::Next);
        else if (hasStream)
            seekForward(sys, 6000);
        break;
    case VK_UP:
        if (control) {
            // In study mode the caption becomes the loop and plays again.
            if (hasStream && !loopCurrentCaption(sys))
                seekToCaption(sys, CaptionStep::Current);
            break;
        }
        s.fontposy = wrappingAdd(s.fontposy, 2);
        break;
    case VK_DOWN:
        s.fontposy = wrappingAdd(s.fontposy, -2);
        break;
    case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8':
        selectResolution(sys, virtualKey - '0');
        sys.playback.reinitRequest = 1;
        break;
    case '0':
        if (control)
            clearCaptionSync(sys);
        break;
    case '9':
        if (selectDesktopResolution(sys))
            sys.playback.reinitRequest = 1;
        break;
    case 'A':
        if (style & styleAutoPlace)
            style = (style & ~styleAutoPlace) | styleSemiAutoPlace;
        else if (style & styleSemiAutoPlace)
            style &= ~styleSemiAutoPlace;
        else
            style |= styleAutoPlace;
        break;
    case 'B':
        s.seekbar = oneMinus(s.seekbar);
        break;
    case 'C':
        s.iscaption = oneMinus(s.iscaption);
        break;
    case 'D':
        s.fontsize = s.fontsize > 1 ? s.fontsize - 1 : 1;
        recreateCaptionFont(sys, FW_BOLD);
        break;
    case 'E':
        s.isending = s.isending == 0 ? 1 : 0;
        break;
    case 'F':
        s.fontsize = s.fontsize < 500 ? s.fontsize + 1 : 500;
        recreateCaptionFont(sys, FW_EXTRABOLD);
        break;
    case 'G':
        s.fontface = (s.fontface + 1) % 4;
        recreateCaptionFont(sys, FW_EXTRABOLD);
        break;
    case 'H':
        if (s.helpcolor == 0xFFFFFF)
            s.helpcolor = 0xFF0000;
        else if (s.helpcolor == 0)
            s.helpcolor = 0xFFFFFF;
        else
            s.helpcolor >>= 8;
        break;
    case 'I':
        sys.movie.currentItem.timeshift = wrappingAdd(sys.movie.currentItem.timeshift, 10000);
        break;
    case 'J':
        if (control)
            snapCaption(sys, CaptionStep::Current);
        else if (shift && sys.movie.secondCaption)
            shiftSecondCaption(sys, -1000);
        else
            sys.movie.currentItem.timeshift = wrappingAdd(sys.movie.currentItem.timeshift, -1000);
        break;
    case 'K':
        if (control)
            snapCaption(sys, CaptionStep::Next);
        else if (shift && sys.movie.secondCaption)
            shiftSecondCaption(sys, 1000);
        else
            sys.movie.currentItem.timeshift = wrappingAdd(sys.movie.currentItem.timeshift, 1000);
        break;
    case 'L':
        sys.commands.pictureFlags ^= EnhanceImage;
        break;
    case 'M':
        s.fitmode = s.fitmode >= 3 ? 0 : s.fitmode + 1;
        computeVideoPlacement(sys);
        break;
    case 'N':
        if (sys.movie.currentCaption)
            sys.movie.currentCaption->nextClassChoice();
        break;
    case 'O':
        if (style & styleThickOutline)
            style &= ~(styleThickOutline | styleOutline);
        else if (style & styleOutline)
            style |= styleThickOutline;
        else
            style |= styleOutline;
        break;
    case 'P':
        sys.commands.pictureFlags ^= FlipVertical;
        break;
    case 'Q':
        s.quickskip = s.quickskip == 0 ? 1 : 0;
        break;
    case 'R':
        style ^= styleReverse;
        break;
    case 'S':
        style ^= styleShadow;
        break;
    case 'T':
        s.alwaystop = s.alwaystop == 0 ? 1 : 0;
        SetWindowPos(sys.window.mainWindow, s.alwaystop == 1 ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
            SWP_NOMOVE | SWP_NOSIZE);
        break;
    case 'U':
        sys.movie.currentItem.timeshift = wrappingAdd(sys.movie.currentItem.timeshift, -10000);
        break;
    case 'V':
        switchCaptionLook(sys);
        break;
    case 'W':
        cycleAudio(sys);
        break;
    case 'X':
        s.asksmi = oneMinus(s.asksmi);
        break;
    case 'Y':
        if (!movieShown(sys))
            break;
        if (shift)
            cycleSecondCaption(sys);
        else
            cycleFirstCaption(sys);
        break;
    case 'Z':
        toggleStudyMode(sys);
        break;
    case VK_ADD:
        changeVolume(sys, 2);
        break;
    case VK_SUBTRACT:
        changeVolume(sys, -2);
        break;
    case VK_F1:
        s.help = oneMinus(s.help);
        break;
    case VK_F12:
        requestScreenshot(sys, (GetKeyState(VK_SHIFT) & 0x8000) != 0);
        break;
    case VK_F2:
        markLoopPoint(sys);
        break;
    case VK_OEM_COMMA:
        // With Ctrl a frame step back while paused, without it the previous movie.
        if (control)
            stepMovieFrame(sys, false);
        else
            sys.playback.movieStep = wrappingAdd(sys.playback.movieStep, -1);
        break;
    case VK_OEM_PERIOD:
        if (control)
            stepMovieFrame(sys, true);
        else
            sys.playback.movieStep = wrappingAdd(sys.playback.movieStep, 1);
        break;
    case VK_OEM_4:
        stepPlaybackSpeed(sys, -1);
        break;
    case VK_OEM_6:
        stepPlaybackSpeed(sys, 1);
        break;
    case VK_BACK:
        stepPlaybackSpeed(sys, 0);
        break;
    case VK_OEM_3:
        s.bpp = s.bpp == 16 ? 32 : 16;
        sys.playback.reinitRequest = 1;
        break;
    default:
        break;
    }
    return 0;
}

}
