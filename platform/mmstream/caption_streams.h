// Caption streams inside a movie: which one the player reads, and how its packets become captions.
#pragma once

#include "platform/mmstream/media_backend.h"

#include <string>

namespace platform {

// The caption stream of the movie at path that the player reads (see chooseCaptionStream), found
// from the container's header alone; index -1 when there is none or the file cannot be opened.
CaptionStreamInfo probeCaptionStream(const std::string& path);

// A teletext subtitle page is a caption stream of its own, numbered past every container stream and TV
// caption: 1000000 + 1000 × its stream's number + its page (100 to 899).
constexpr int teletextStreamBase = 1'000'000;
// The container stream whose packets carry the caption stream numbered captionIndex.
int containerStreamOf(int captionIndex);
// The teletext page of a page's caption stream number; 0 for every other.
int teletextPageOf(int captionIndex);
// The name the caption line and choice give a caption stream: "stream 2", "708-1", "608-CC1",
// "teletext 888".
std::string captionStreamName(int index);

}
