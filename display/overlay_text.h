// The overlay's information lines, read from the player's state once per frame.
#pragma once

#include "display/info_overlay.h"

#include <cstdint>
#include <optional>

namespace sublumen {

struct System;

// The information lines and their colour: the banner, title, movie, caption file, playback state, screen
// mode, video placement and caption settings, with the stream's time streamTime (read from the stream when
// not given). Takes the record as writable only because the audio line asks the stream for its tracks.
OverlayText overlayText(System& sys, std::optional<uint32_t> streamTime = std::nullopt);

}
