#include "platform/mmstream/decoder_skip.h"

namespace platform {

DecoderSkip DecoderSkipRule::picture(MediaTime start, MediaTime length, MediaTime lateness)
{
    if (lateness <= pictureLateLimit)
        tooLateSince_.reset();
    if (lateness <= MediaTime::zero()) {
        skip_ = DecoderSkip::None;
    } else if (lateness > pictureLateLimit) {
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
