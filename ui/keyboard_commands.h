// The single-key command set.
#pragma once

namespace sublumen {

struct System;

// Handles one key-down message by its virtual-key code; always 0.
int onKeyDown(System& sys, int virtualKey);
// Does what the key does, without the key-down log line: for commands that come from elsewhere.
int runKeyCommand(System& sys, int virtualKey);
// Sets screenx, screeny (and, for 1, bpp) from the resolution table; any other digit gives 640 by 480.
void selectResolution(System& sys, int digit);
// Sets screenx and screeny to the desktop size of the display the main window is on, and bpp to 32:
// that mode is shown without scaling. In window mode the size is the largest client area that fits the
// desktop's usable area with the window's frame. False, with a log line, when the desktop cannot be read.
bool selectDesktopResolution(System& sys);
// Recreates the caption font at fontsize and fontface with the given weight.
void recreateCaptionFont(System& sys, int weight);

}
