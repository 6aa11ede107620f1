// How the pictures keep up with the sound when the machine cannot decode them all in time: the video
// decoder leaves out what would come too late, and the hand-out does not show what came too late.
#pragma once

#include "platform/mmstream/media_backend.h"

#include <chrono>
#include <optional>

namespace platform {

// A picture is to reach the screen no later than its own length and this behind the sound.
constexpr MediaTime pictureLateLimit = std::chrono::milliseconds(100);

// How late a picture of the given length may still be handed out to a caller that usually takes
// showCost to show one: so late that it reaches the screen within its length and pictureLateLimit,
// but at least its own length (a caller that cannot show in time still gets pictures that are due).
MediaTime handOutLateLimit(MediaTime length, MediaTime showCost);

// What showing a picture costs the caller: the time from a delivery until it comes back for the next,
// averaged over the last few. Gaps longer than a frame could ever take (a pause) are not counted.
class ShowCost {
public:
    void delivered(std::chrono::steady_clock::time_point now) { lastDelivery_ = now; }
    // The caller is back for a picture.
    void back(std::chrono::steady_clock::time_point now);
    MediaTime cost() const { return cost_; }

private:
    std::optional<std::chrono::steady_clock::time_point> lastDelivery_;
    MediaTime cost_ {0};
};
// How long (in movie time) the decoder may try to catch up by skipping the unreferenced pictures
// alone while what it gives is too late to be shown, before it gives up the rest up to a keyframe.
constexpr MediaTime catchUpTime = std::chrono::milliseconds(500);

// How much the video decoder leaves out: nothing, the pictures nothing refers to, or every packet up
// to the next keyframe that is not due yet.
enum class DecoderSkip { None, NonReference, ToKeyframe };

// The decoder's choice, from how late its pictures come out. A picture more than its own length late
// starts the skipping of unreferenced pictures; when those skipped, pictures still come out too late to
// be handed out (handOutLateLimit) for catchUpTime, the decoder skips to the next keyframe; a picture
// that is on time again ends all skipping.
class DecoderSkipRule {
public:
    DecoderSkip skip() const { return skip_; }
    // A picture starting at start, of the given length, came out lateness after its start (negative:
    // before it was due), for a caller whose showing costs showCost. Returns the skipping from now on.
    DecoderSkip picture(MediaTime start, MediaTime length, MediaTime lateness, MediaTime showCost);
    // The keyframe the decoder skipped to is being decoded.
    void keyframeReached();
    // After a seek: nothing is skipped.
    void reset();

private:
    DecoderSkip skip_ = DecoderSkip::None;
    std::optional<MediaTime> tooLateSince_;  // the first of the pictures in a row too late to be shown
};

}
