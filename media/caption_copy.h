// Ctrl+C: the caption's text on the desktop's clipboard and primary selection, so that a pop-up
// dictionary or a browser takes it.
#pragma once

#include <string>

namespace sublumen {

struct System;

// The chosen line of the open transcript panel, else the first caption shown now, as UTF-8; empty when
// neither shows anything but blanks.
std::string captionToCopy(System& sys);
// Copies captionToCopy and says so in the status bar ("복사함"), or why it could not.
void copyCaption(System& sys);

}
