// The owning handles of the current movie's stream and caption tracks, held in the movie group of the
// system record. Only the movie session (media/movie_session.h) makes and drops what they hold.
#pragma once

#include <memory>

namespace sublumen {

class Caption;
class MediaStream;

// The owner releases a stream before deleting it and unloads a caption track before deleting it.
struct ReleaseStream {
    void operator()(MediaStream* stream) const;
};
struct UnloadCaption {
    void operator()(Caption* caption) const;
};
using StreamHandle = std::unique_ptr<MediaStream, ReleaseStream>;
using CaptionHandle = std::unique_ptr<Caption, UnloadCaption>;

}
