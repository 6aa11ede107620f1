// The SDL names of the screen's pixel formats and areas.
#pragma once

#include "platform/screen/screen_geometry.h"
#include "platform/surface.h"

#include <SDL.h>

namespace platform {

inline uint32_t sdlFormatOf(PixelFormat format)
{
    return format == PixelFormat::RGB565 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_XRGB8888;
}

inline SDL_Rect sdlRect(const Area& a) { return SDL_Rect { a.x, a.y, a.w, a.h }; }

}
