// Texts at the shown pixels: where the composed screen is shown enlarged (a full-screen mode smaller
// than the desktop), the picture alone is scaled; the status bar, the captions and the overlay are drawn
// afterwards on the enlarged pixels, every size scaled by the same factor, so they are as sharp as on the
// desktop's own mode.
#pragma once

#include "display/frame_layout.h"
#include "platform/surface.h"

namespace sublumen {

struct System;

// The layout's fonts made for its sizes: the caption font at its scale, the status bar's and the overlay's
// at scale times textScale, each kept in the composition state until its font or its factor changes.
void makeLayoutFonts(System& sys, FrameLayout& layout);
// The frame's layout on the back surface with its fonts made for it (frameLayout, makeLayoutFonts).
FrameLayout composedLayout(System& sys);

// Composes and presents one frame that way when the screen is shown enlarged; false (nothing done) when
// it is shown 1:1, and the frame is composed whole on the back surface.
bool renderPresentedFrame(System& sys);
// The status bar, the captions, the F12 screenshot, the overlay and the screenshot notice drawn on the
// enlarged screen shown, at scale times their sizes.
void drawPresentedTexts(System& sys, platform::PixelView shown, double scale);

}
