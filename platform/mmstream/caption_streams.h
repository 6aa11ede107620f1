// Caption streams inside a movie: which one the player reads, and how its packets become captions.
#pragma once

#include "platform/mmstream/media_backend.h"

#include <string>

namespace platform {

// The caption stream of the movie at path that the player reads (see chooseCaptionStream), found
// from the container's header alone; index -1 when there is none or the file cannot be opened.
CaptionStreamInfo probeCaptionStream(const std::string& path);

}
