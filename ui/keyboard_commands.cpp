#include "ui/keyboard_commands.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "display/display_modes.h"
#include "display/notice.h"
#include "display/video_placement.h"
#include "platform/gdi/gdi.h"
#include "platform/window/window.h"

namespace sublumen {

void selectResolution(System& sys, int digit)
{
    if (digit < 1 || digit > 8) {
        sys.settings.screenx = 640;
        sys.settings.screeny = 480;
        return;
    }
    sys.settings.screenx = digitResolutions[digit - 1].width;
    sys.settings.screeny = digitResolutions[digit - 1].height;
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

void chooseResolution(System& sys, CommandArgument argument)
{
    selectResolution(sys, static_cast<int>(argument.value));
    sys.playback.reinitRequest = 1;
}

void chooseDesktopResolution(System& sys, CommandArgument)
{
    if (selectDesktopResolution(sys))
        sys.playback.reinitRequest = 1;
}

void switchColourDepth(System& sys, CommandArgument)
{
    sys.settings.bpp = sys.settings.bpp == 16 ? 32 : 16;
    sys.playback.reinitRequest = 1;
}

void cycleHelpColour(System& sys, CommandArgument)
{
    int32_t& colour = sys.settings.helpcolor;
    if (colour == 0xFFFFFF)
        colour = 0xFF0000;
    else if (colour == 0)
        colour = 0xFFFFFF;
    else
        colour >>= 8;
}

void cycleCaptionPlacement(System& sys, CommandArgument)
{
    int32_t& style = sys.settings.captionstyle;
    if (style & styleAutoPlace)
        style = (style & ~styleAutoPlace) | styleSemiAutoPlace;
    else if (style & styleSemiAutoPlace)
        style &= ~styleSemiAutoPlace;
    else
        style |= styleAutoPlace;
}

void cycleCaptionOutline(System& sys, CommandArgument)
{
    int32_t& style = sys.settings.captionstyle;
    if (style & styleThickOutline)
        style &= ~(styleThickOutline | styleOutline);
    else if (style & styleOutline)
        style |= styleThickOutline;
    else
        style |= styleOutline;
}

void cycleCaptionBox(System& sys, CommandArgument)
{
    const CaptionBox box = captionBoxOf(sys.settings.captionbox);
    const CaptionBox next = box == CaptionBox::None ? CaptionBox::Box
        : box == CaptionBox::Box                    ? CaptionBox::YellowOnBox
                                                    : CaptionBox::None;
    sys.settings.captionbox = static_cast<int32_t>(next);
    showNotice(sys, next == CaptionBox::None ? "자막 상자 끔" : next == CaptionBox::Box ? "자막 상자" : "자막 상자: 노란 글자",
        3);
}

void stepCaptionSize(System& sys, CommandArgument argument)
{
    int32_t& size = sys.settings.fontsize;
    if (argument.value < 0) {
        size = size > 1 ? size - 1 : 1;
        recreateCaptionFont(sys, FW_BOLD);
    } else {
        size = size < 500 ? size + 1 : 500;
        recreateCaptionFont(sys, FW_EXTRABOLD);
    }
}

void nextCaptionFace(System& sys, CommandArgument)
{
    sys.settings.fontface = (sys.settings.fontface + 1) % 4;
    recreateCaptionFont(sys, FW_EXTRABOLD);
}

void nextPictureFit(System& sys, CommandArgument)
{
    sys.settings.fitmode = sys.settings.fitmode >= 3 ? 0 : sys.settings.fitmode + 1;
    computeVideoPlacement(sys);
}

void switchAlwaysOnTop(System& sys, CommandArgument)
{
    sys.settings.alwaystop = switched(sys.settings.alwaystop);
    SetWindowPos(sys.window.mainWindow, sys.settings.alwaystop == 1 ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
        SWP_NOMOVE | SWP_NOSIZE);
}

}
