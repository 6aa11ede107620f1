#include "platform/mmstream/decoder_skip.h"

#include <algorithm>

namespace platform {

namespace {

// Longer than any picture takes to show: a caller away this long was paused or held up elsewhere.
constexpr MediaTime longestShow = std::chrono::milliseconds(500);

}

MediaTime handOutLateLimit(MediaTime length, MediaTime showCost)
{
    return std::max(length, length + pictureLateLimit - showCost);
}

void ShowCost::back(std::chrono::steady_clock::time_point now)
{
    if (!lastDelivery_)
        return;
    MediaTime took = std::chrono::duration_cast<MediaTime>(now - *lastDelivery_);
    lastDelivery_.reset();
    if (took < MediaTime::zero() || took > longestShow)
        return;
    cost_ += (took - cost_) / 4;
}

DecoderSkip DecoderSkipRule::picture(MediaTime start, MediaTime length, MediaTime lateness, MediaTime showCost)
{
    const bool tooLate = lateness > handOutLateLimit(length, showCost);
    if (!tooLate)
        tooLateSince_.reset();
    if (lateness <= MediaTime::zero()) {
        skip_ = DecoderSkip::None;
    } else if (tooLate) {
        if (!tooLateSince_)
            tooLateSince_ = start;
        if (skip_ == DecoderSkip::None)
            skip_ = DecoderSkip::NonReference;
        else if (skip_ == DecoderSkip::NonReference && start - *tooLateSince_ >= catchUpTime)
            skip_ = DecoderSkip::ToKeyframe;
    } else if (lateness > length || skip_ == DecoderSkip::ToKeyframe) {
        skip_ = DecoderSkip::NonReference;
    }
    return skip_;
}

void DecoderSkipRule::keyframeReached()
{
    if (skip_ == DecoderSkip::ToKeyframe)
        skip_ = DecoderSkip::NonReference;
    tooLateSince_.reset();
}

void DecoderSkipRule::reset()
{
    skip_ = DecoderSkip::None;
    tooLateSince_.reset();
}

}
