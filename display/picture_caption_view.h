// Picture captions on the composed frame: their canvas laid over the shown picture, moved and sized by
// the caption keys.
#pragma once

#include "caption/picture_caption.h"
#include "display/frame_layout.h"

namespace sublumen {

// Which picture captions are shown: all while captions are on and shown as authored, those not read as
// text yet while they are shown in our style (the rest are drawn as text), the forced ones alone while
// captions are off.
enum class PictureCaptions { All, Unread, ForcedOnly };

// How a caption authored on a canvas of canvasWidth × canvasHeight (0: the movie's picture size) lands
// on the surface under the layout's placement, fontposy (raise above its default) and fontsize (scale
// against its default, both taken at the layout's scale).
PictureCaptionView pictureCaptionView(const FrameLayout& layout, int32_t canvasWidth, int32_t canvasHeight,
    PictureCaptions shown);

// Blends the caption of track in force at the caption time onto target; nothing when none is in force.
void drawPictureCaption(platform::PixelView target, const FrameLayout& layout, PictureCaption& track,
    uint32_t captionTime, PictureCaptions shown);

}
