// How the pictures keep up with the sound when the machine cannot decode them all in time: the video
// decoder leaves out what would come too late, and the hand-out does not show what came too late.
#pragma once

#include "platform/mmstream/media_backend.h"

#include <chrono>
#include <optional>

namespace platform {

// A picture later than this when it is handed out is not shown: converted and presented, it would
// reach the screen more than a frame period and 100 ms behind the sound. The video decoder skips
// pictures before they come out this late.
constexpr MediaTime pictureLateLimit = std::chrono::milliseconds(100);
// How long (in movie time) the decoder may try to catch up by skipping the unreferenced pictures
// alone while what it gives is too late to be shown, before it gives up the rest up to a keyframe.
constexpr MediaTime catchUpTime = std::chrono::milliseconds(500);

// How much the video decoder leaves out: nothing, the pictures nothing refers to, or every packet up
// to the next keyframe that is not due yet.
enum class DecoderSkip { None, NonReference, ToKeyframe };

// The decoder's choice, from how late its pictures come out. A picture more than its own length late
// starts the skipping of unreferenced pictures; when those skipped, pictures still come out later than
// pictureLateLimit for catchUpTime, the decoder skips to the next keyframe; a picture that is on time
// again ends all skipping.
class DecoderSkipRule {
public:
    DecoderSkip skip() const { return skip_; }
    // A picture starting at start, of the given length, came out lateness after its start (negative:
    // before it was due). Returns the skipping from now on.
    DecoderSkip picture(MediaTime start, MediaTime length, MediaTime lateness);
    // The keyframe the decoder skipped to is being decoded.
    void keyframeReached();
    // After a seek: nothing is skipped.
    void reset();

private:
    DecoderSkip skip_ = DecoderSkip::None;
    std::optional<MediaTime> tooLateSince_;  // the first of the pictures in a row too late to be shown
};

}
