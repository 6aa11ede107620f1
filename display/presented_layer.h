// Texts at the shown pixels: where the composed screen is shown enlarged (a full-screen mode smaller
// than the desktop), the picture alone is scaled; the status bar, the captions and the overlay are drawn
// afterwards on the enlarged pixels, every size scaled by the same factor, so they are as sharp as on the
// desktop's own mode.
#pragma once

#include "display/frame_layout.h"
#include "platform/surface.h"

namespace sublumen {

struct System;
struct Frame;

// The layout's fonts made for its sizes: the caption font at its scale, the status bar's and the overlay's
// at scale times textScale, each kept in the composition state until its font or its factor changes.
void makeLayoutFonts(System& sys, FrameLayout& layout);
// The frame's layout on the back surface with its fonts made for it (frameLayout, makeLayoutFonts).
FrameLayout composedLayout(System& sys);

// How much larger than the back surface the screen is shown; 1 when it is shown 1:1 (or there is no
// window or display), and the frame is composed whole on the back surface.
double presentedScale(const System& sys);
// Presents the back surface enlarged, with frame's status bar, captions, caption pictures, transcript panel,
// overlay and notice drawn at the shown pixels (drawPresentedTexts) and the F12 screenshots taken from them.
void presentEnlarged(System& sys, const Frame& frame);
// The status bar, the captions, the caption pictures, the F12 screenshot, the transcript panel, the overlay
// and the notice drawn on the enlarged screen shown, at scale times their sizes.
void drawPresentedTexts(System& sys, const Frame& frame, platform::PixelView shown, double scale);

}
