// How far the video decoder skips when its pictures come out late.
#include "platform/mmstream/decoder_skip.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using platform::DecoderSkip;
using platform::MediaTime;
using platform::nextDecoderSkip;

namespace {

TEST(DecoderSkip, EscalatesOneStepAtATimeAndStopsOnceOnTime)
{
    constexpr MediaTime frame = 16667us;  // 60 frames a second
    struct Row {
        DecoderSkip current;
        MediaTime lateness;
        DecoderSkip next;
    };
    const Row rows[] = {
        // Ahead of the clock or just on time: no skipping, whatever came before.
        {DecoderSkip::None, -40ms, DecoderSkip::None},
        {DecoderSkip::NonReference, 0ms, DecoderSkip::None},
        {DecoderSkip::ToKeyframe, -1ms, DecoderSkip::None},
        // Late by less than a picture: skipping goes on as it was, except that the keyframe was reached.
        {DecoderSkip::None, 10ms, DecoderSkip::None},
        {DecoderSkip::NonReference, 16ms, DecoderSkip::NonReference},
        {DecoderSkip::ToKeyframe, 10ms, DecoderSkip::NonReference},
        // Late by more than a picture but still showable: the unreferenced pictures are skipped.
        {DecoderSkip::None, 17ms, DecoderSkip::NonReference},
        {DecoderSkip::NonReference, 100ms, DecoderSkip::NonReference},
        {DecoderSkip::ToKeyframe, 60ms, DecoderSkip::NonReference},
        // Too late to be shown: one step further, never from nothing straight to the keyframe.
        {DecoderSkip::None, 400ms, DecoderSkip::NonReference},
        {DecoderSkip::NonReference, 101ms, DecoderSkip::ToKeyframe},
        {DecoderSkip::ToKeyframe, 2s, DecoderSkip::ToKeyframe},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(row.current) << " late "
                                        << std::chrono::duration_cast<std::chrono::milliseconds>(row.lateness).count());
        EXPECT_EQ(nextDecoderSkip(row.current, row.lateness, frame), row.next);
    }
    // A picture's own length decides when it counts as late: a 24-a-second one may be 40 ms behind.
    EXPECT_EQ(nextDecoderSkip(DecoderSkip::None, 40ms, 41667us), DecoderSkip::None);
    EXPECT_EQ(nextDecoderSkip(DecoderSkip::None, 42ms, 41667us), DecoderSkip::NonReference);
}

}
