// Pictures as PNG files' bytes, through the media library's PNG encoder.
#pragma once

#include "platform/surface.h"

#include <cstdint>
#include <vector>

namespace platform {

// The surface as a PNG of 8-bit RGB; false (and png empty) when the encoder is missing or fails.
// Safe on any thread: every call makes its own encoder.
bool encodePng(const Surface& picture, std::vector<uint8_t>& png);

}
