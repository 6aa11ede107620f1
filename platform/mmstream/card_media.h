// The sound and the picture of a stretch of a movie, read from its file again on the caller's thread
// (the study cards' writer), apart from the stream that plays it.
#pragma once

#include "platform/surface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class SoundClipOutcome { Made, NoSound, Failed };

struct SoundClip {
    // A whole sound file's bytes and the name ending that goes with them (".mp3", or ".opus" where the
    // media library has no MP3 encoder).
    std::vector<uint8_t> file;
    std::string suffix;
    // Why it could not be made, for the log.
    std::string reason;
};

// The sound of the movie at path from start to end (milliseconds of movie time) in the audio stream
// numbered stream (the file's main one when that is not an audio stream), as a compressed sound file.
SoundClipOutcome cutSoundClip(const std::string& path, int stream, uint32_t start, uint32_t end, SoundClip& clip);

// The movie's picture shown at time (milliseconds) at the picture's own size; false, with the reason,
// when the movie has no picture there.
bool grabMoviePicture(const std::string& path, uint32_t time, Surface& picture, std::string& reason);

}
