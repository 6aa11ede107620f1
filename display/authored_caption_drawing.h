// Frame composition's step for captions drawn as authored (SSA/ASS): blended onto the back surface over
// the shown picture, after the picture and the status bar and before the overlay.
#pragma once

#include "display/frame_layout.h"
#include "platform/authored_captions.h"

#include <cstdint>

namespace sublumen {

// Where the whole picture lies on the screen for a placement of a picture of width × height: the shown
// part's scale carried out to the picture's edges, so a crop (pan-scan) puts the frame past the screen.
// Captions are laid out over it at the size they are shown, never mirrored: a flipped picture keeps
// readable captions where they were authored on the screen's picture.
platform::PictureFrame shownPictureFrame(const VideoPlacement& placement, int width, int height);

// Blends the captions in force at captionTime onto target, laid out over the picture where the layout
// places it and at the size it is shown there.
void drawAuthoredCaptions(platform::PixelView target, const FrameLayout& layout, platform::AuthoredCaptions& captions,
    uint32_t captionTime);

}
