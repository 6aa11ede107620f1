// Frame composition's step for captions drawn as authored (SSA/ASS): blended onto the back surface over
// the shown picture, after the picture and the status bar and before the overlay.
#pragma once

#include "platform/authored_captions.h"

namespace sublumen {

struct System;
struct VideoPlacement;

// Where the whole picture lies on the screen for a placement of a picture of width × height: the shown
// part's scale carried out to the picture's edges, so a crop (pan-scan) puts the frame past the screen.
// Captions are laid out over it at the size they are shown, never mirrored: a flipped picture keeps
// readable captions where they were authored on the screen's picture.
platform::PictureFrame shownPictureFrame(const VideoPlacement& placement, int width, int height);

// With captions on and the current captions shown as authored, blends those in force at the caption time
// onto the back surface; otherwise nothing.
void drawAuthoredCaptions(System& sys);

}
