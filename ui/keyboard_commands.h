// The keyboard commands' own handlers: the settings the keys change, the resolution and the caption
// font. The command table (ui/commands.h) names them; the one-line toggles are rows of it.
#pragma once

#include "app/command_argument.h"

#include <cstdint>

namespace sublumen {

struct System;

// Settings come from a file and may hold any value; these keep the arithmetic defined at the extremes by
// wrapping in 32 bits, which the stored values rely on.
inline int32_t wrappingAdd(int32_t value, int64_t step)
{
    return static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(step));
}
// The two ways an on/off setting is toggled: 1 minus the value, or 1 when it is 0 and else 0.
inline int32_t oneMinus(int32_t value)
{
    return static_cast<int32_t>(1u - static_cast<uint32_t>(value));
}
inline int32_t switched(int32_t value)
{
    return value == 0 ? 1 : 0;
}

// Sets screenx, screeny (and, for 1, bpp) from the resolution table; any other digit gives 640 by 480.
void selectResolution(System& sys, int digit);
// Sets screenx and screeny to the desktop size of the display the main window is on, and bpp to 32:
// that mode is shown without scaling. In window mode the size is the largest client area that fits the
// desktop's usable area with the window's frame. False, with a log line, when the desktop cannot be read.
bool selectDesktopResolution(System& sys);
// Recreates the caption font at fontsize and fontface with the given weight.
void recreateCaptionFont(System& sys, int weight);

// 1 to 8: the resolution of the digit argument.value; the display is rebuilt at the next turn.
void chooseResolution(System& sys, CommandArgument argument);
// 9: the desktop's own size at 32 bits, when it can be read.
void chooseDesktopResolution(System& sys, CommandArgument);
// `: 32 bits from 16, else 16.
void switchColourDepth(System& sys, CommandArgument);
// H: the information text's colour, white, blue, green, red, black, white.
void cycleHelpColour(System& sys, CommandArgument);
// A: caption placement fixed, automatic, semi-automatic, fixed.
void cycleCaptionPlacement(System& sys, CommandArgument);
// O: caption outline none, outline, thick outline, none.
void cycleCaptionOutline(System& sys, CommandArgument);
// F9: what our caption style draws behind each line: nothing, a black box, yellow text on the box; told on
// the status bar.
void cycleCaptionBox(System& sys, CommandArgument);
// D and F: the caption size by argument.value (-1 or 1) within 1 and 500, the font made bold (D) or
// extra-bold (F) again.
void stepCaptionSize(System& sys, CommandArgument argument);
// G: the next of the four caption faces.
void nextCaptionFace(System& sys, CommandArgument);
// M: the next picture fit, the picture placed again.
void nextPictureFit(System& sys, CommandArgument);
// T: always on top or not, the window's z-order with it.
void switchAlwaysOnTop(System& sys, CommandArgument);

}
