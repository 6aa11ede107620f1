// How far the video decoder skips when its pictures come out late.
#include "platform/mmstream/decoder_skip.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using platform::DecoderSkip;
using platform::DecoderSkipRule;
using platform::MediaTime;

namespace {

constexpr MediaTime frame = 16667us;  // 60 frames a second

// Pictures come out one after another from start, frame apart, each late by the given amount.
DecoderSkip run(DecoderSkipRule& rule, MediaTime& start, std::initializer_list<MediaTime> lateness)
{
    for (MediaTime late : lateness) {
        rule.picture(start, frame, late, 0ms);
        start += frame;
    }
    return rule.skip();
}

TEST(DecoderSkip, UnreferencedPicturesGoFirstThenEverythingUpToAKeyframeAndOnTimeEndsIt)
{
    DecoderSkipRule rule;
    MediaTime start = 0ms;
    // Ahead of the clock, or late by less than a picture: everything is decoded.
    EXPECT_EQ(run(rule, start, {-40ms, 0ms, 16ms}), DecoderSkip::None);
    // More than a picture late: unreferenced pictures go.
    EXPECT_EQ(run(rule, start, {17ms}), DecoderSkip::NonReference);
    // Caught up to within a picture: that goes on until a picture is on time again.
    EXPECT_EQ(run(rule, start, {10ms, 16ms}), DecoderSkip::NonReference);
    EXPECT_EQ(run(rule, start, {0ms}), DecoderSkip::None);
    // Too late to be shown straight away: never from nothing to the keyframe in one step.
    EXPECT_EQ(run(rule, start, {400ms}), DecoderSkip::NonReference);
    // The skipping gets its time to catch up; a showable picture in between starts that time over.
    MediaTime tooLateFrom = start;
    while (start - tooLateFrom + frame < platform::catchUpTime)
        EXPECT_EQ(run(rule, start, {300ms}), DecoderSkip::NonReference);
    EXPECT_EQ(run(rule, start, {90ms}), DecoderSkip::NonReference);
    tooLateFrom = start;
    while (start - tooLateFrom < platform::catchUpTime)
        EXPECT_EQ(run(rule, start, {150ms}), DecoderSkip::NonReference);
    EXPECT_EQ(run(rule, start, {150ms}), DecoderSkip::ToKeyframe);
    // Pictures the decoder still held stay late: the skip holds until the keyframe.
    EXPECT_EQ(run(rule, start, {200ms}), DecoderSkip::ToKeyframe);
    rule.keyframeReached();
    EXPECT_EQ(rule.skip(), DecoderSkip::NonReference);
    // From the keyframe the unreferenced pictures are still skipped, and too-late ones get a new
    // catch-up time.
    EXPECT_EQ(run(rule, start, {120ms, 130ms}), DecoderSkip::NonReference);
    EXPECT_EQ(run(rule, start, {-5ms}), DecoderSkip::None);
    // A seek starts with nothing skipped.
    run(rule, start, {50ms});
    rule.reset();
    EXPECT_EQ(rule.skip(), DecoderSkip::None);
    // For a caller that needs 80 ms to show a picture, 50 ms late is too late already.
    DecoderSkipRule slowCaller;
    for (MediaTime at = 0ms; at <= platform::catchUpTime + frame; at += frame)
        slowCaller.picture(at, frame, 50ms, 80ms);
    EXPECT_EQ(slowCaller.skip(), DecoderSkip::ToKeyframe);
    // A picture's own length decides when it counts as late: a 24-a-second one may be 40 ms behind.
    rule.picture(start, 41667us, 40ms, 0ms);
    EXPECT_EQ(rule.skip(), DecoderSkip::None);
    rule.picture(start + 41667us, 41667us, 42ms, 0ms);
    EXPECT_EQ(rule.skip(), DecoderSkip::NonReference);
}

}

namespace {

// A caller that needs longer to show a picture gets only pictures later by that much less; one too
// slow to show any in time still gets those that are due, and a pause is no cost of showing.
TEST(DecoderSkip, PicturesHandedOutLateLeaveTimeToShowThem)
{
    using Clock = std::chrono::steady_clock;
    platform::ShowCost cost;
    EXPECT_EQ(platform::handOutLateLimit(frame, cost.cost()), frame + platform::pictureLateLimit);
    Clock::time_point now {};
    for (int i = 0; i < 40; ++i) {
        cost.delivered(now);
        now += 60ms;
        cost.back(now);
    }
    EXPECT_NEAR(std::chrono::duration_cast<std::chrono::microseconds>(cost.cost()).count(), 60'000, 100);
    EXPECT_NEAR(std::chrono::duration_cast<std::chrono::microseconds>(platform::handOutLateLimit(frame, cost.cost())).count(),
        56'667, 100);
    // Away for a second (paused): not counted. Back without a delivery: nothing to count.
    cost.delivered(now);
    now += 1s;
    cost.back(now);
    now += 10ms;
    cost.back(now);
    EXPECT_NEAR(std::chrono::duration_cast<std::chrono::microseconds>(cost.cost()).count(), 60'000, 100);
    for (int i = 0; i < 40; ++i) {
        cost.delivered(now);
        now += 300ms;
        cost.back(now);
    }
    EXPECT_EQ(platform::handOutLateLimit(frame, cost.cost()), frame);
}

}
