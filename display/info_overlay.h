// The information lines and key summary drawn over the picture while help is on.
#pragma once

#include "platform/win32.h"

#include <cstddef>

namespace sublumen {

struct System;

// The key summary, one line each, drawn below the information lines.
extern const char* const helpLineTable[17];

// Pass 1 is the shadow pass (inverted colour, one pixel right and down), pass 0 the normal pass.
void drawInfoOverlay(System& sys, int pass);
// The same pass drawn on dc.
void drawInfoOverlayOn(System& sys, HDC dc, int pass);

// Cuts text in place to fit a buffer of size bytes (terminator included), ending with a complete
// character: UTF-8 when the text is valid UTF-8, CP949 otherwise.
void fitLine(char* text, size_t size);

}
