// Picture captions on the composed frame: their canvas laid over the shown picture, moved and sized by
// the caption keys.
#pragma once

#include "caption/picture_caption.h"

namespace sublumen {

struct System;

// How a caption authored on a canvas of canvasWidth × canvasHeight (0: the movie's picture size) lands
// on the screen under the current placement, fontposy (raise above its default) and fontsize (scale
// against its default), with forced captions alone while captions are switched off.
PictureCaptionView pictureCaptionView(const System& sys, int32_t canvasWidth, int32_t canvasHeight);

// Blends the picture caption in force at the caption time onto the back surface; nothing without
// picture captions or a shown movie.
void drawPictureCaption(System& sys);

}
