// How the pictures keep up with the sound when the machine cannot decode them all in time: the video
// decoder leaves out what would come too late, and the hand-out does not show what came too late.
#pragma once

#include "platform/mmstream/media_backend.h"

#include <chrono>

namespace platform {

// A picture later than this when it is handed out is not shown: converted and presented, it would
// reach the screen more than a frame period and 100 ms behind the sound. The video decoder skips
// pictures before they come out this late.
constexpr MediaTime pictureLateLimit = std::chrono::milliseconds(100);

// How much the video decoder leaves out: nothing, the pictures nothing refers to, or every packet up
// to the next keyframe that is not due yet.
enum class DecoderSkip { None, NonReference, ToKeyframe };

// The skipping after a picture of the given length came out lateness after its start (negative: before
// it was due). A picture more than its length late starts the skipping of unreferenced pictures; one
// later than pictureLateLimit while those are skipped gives up the pictures up to the next keyframe;
// one that is on time again ends all skipping.
DecoderSkip nextDecoderSkip(DecoderSkip current, MediaTime lateness, MediaTime length);

}
