// The update rules of MediaStream that a real movie does not produce on demand (a busy decoder, a
// pending picture, a clock that jumps, ends at chosen times), on the scripted media engine.
#include "media/media_stream.h"
#include "platform/mmstream/mmstream.h"
#include "stream_setup.h"
#include "support/scripted_media_backend.h"

#include <gtest/gtest.h>

#include <string>

using platform::FrameDelivery;
using platform::FrameOutcome;
using platform::MediaTime;
using sublumen::MediaStream;
using testing_support::MediaScript;
using testing_support::ScriptedBackendScope;

namespace {

constexpr FrameDelivery delivered { FrameOutcome::Delivered };
constexpr FrameDelivery notDue { FrameOutcome::NotDue };
constexpr FrameDelivery behind { FrameOutcome::DecoderBehind };
constexpr FrameDelivery endOfStream { FrameOutcome::EndOfStream };

MediaTime ms(int64_t milliseconds) { return std::chrono::milliseconds(milliseconds); }

class StreamRules : public stream_setup::DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        stream = std::make_unique<MediaStream>(sys.displays.display.get(), "scripted.avi");
        ASSERT_EQ(stream->lastResult, 0);
        ASSERT_EQ(stream->setRun(1), 0);
        logStart = log.text().size();
    }
    void TearDown() override
    {
        if (stream)
            stream->release();
        stream.reset();
        DisplayTest::TearDown();
    }
    // What the stream logged since the set-up.
    std::string logged() const { return log.text().substr(logStart); }
    // One update with the engine's clock reading before and after it, and its answers in order.
    int update(int64_t beforeMs, int64_t afterMs, std::initializer_list<FrameDelivery> answers)
    {
        script->times = { ms(beforeMs), ms(afterMs) };
        script->deliveries = answers;
        script->seeks.clear();
        return stream->update();
    }

    std::shared_ptr<MediaScript> script = std::make_shared<MediaScript>();
    ScriptedBackendScope scope { script };
    std::unique_ptr<MediaStream> stream;
    std::size_t logStart = 0;
};

TEST_F(StreamRules, CreationOpensThroughTheEngineWithSoundOnTheDefaultDevice)
{
    EXPECT_EQ(script->openedPath, "scripted.avi");
    EXPECT_TRUE(script->openOptions.playAudio);
    EXPECT_EQ(stream->duration, 120000u);
    EXPECT_EQ(stream->videoRect.right, 64);
    EXPECT_EQ(stream->videoRect.bottom, 48);
    EXPECT_EQ(script->runCalls, 1);
    stream->release();
    // The last reference goes with release: the engine and its threads are gone.
    EXPECT_TRUE(script->destroyed);
}

struct WaitCase {
    const char* name;
    FrameDelivery first;
    FrameDelivery second;
    int result;
    HRESULT lastResult;
    const char* logged;
};

class WaitRules : public StreamRules, public ::testing::WithParamInterface<WaitCase> { };

TEST_P(WaitRules, AnswerAndLogFollowTheSecondLook)
{
    const WaitCase& c = GetParam();
    EXPECT_EQ(update(5000, 5040, { c.first, c.second }), c.result);
    EXPECT_EQ(stream->lastResult, c.lastResult);
    EXPECT_EQ(logged(), c.logged);
    // The second look is the quarter-second completion wait.
    ASSERT_EQ(script->timeouts.size(), 2u);
    EXPECT_EQ(script->timeouts[1], std::chrono::milliseconds(250));
}

INSTANTIATE_TEST_SUITE_P(Busy, WaitRules,
    ::testing::Values(
        WaitCase { "BusyThenFrame", behind, delivered, 0, 0, "(1) MS_E_BUSY=0x80040406\n+MS_S_BUSY Cleared\n" },
        WaitCase { "BusyThenBusy", behind, behind, 2, MS_E_BUSY,
            "(1) MS_E_BUSY=0x80040406\n(2) after 1/4 sec->0x80040406\n" },
        WaitCase { "BusyThenPending", behind, notDue, 2, MS_S_PENDING,
            "(1) MS_E_BUSY=0x80040406\n(2) after 1/4 sec->0x40001\n" },
        // Any other status is handed back as it is; the recorded result stays the busy one.
        WaitCase { "BusyThenEnd", behind, endOfStream, MS_S_ENDOFSTREAM, MS_E_BUSY,
            "(1) MS_E_BUSY=0x80040406\n(2) after 1/4 sec->0x40003\n" }),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Pending, WaitRules,
    ::testing::Values(WaitCase { "PendingThenFrame", notDue, delivered, 0, 0, "" },
        WaitCase { "PendingThenPending", notDue, notDue, 1, MS_S_PENDING, "->Completion Status = 0x40001\n" },
        WaitCase { "PendingThenBusy", notDue, behind, 1, MS_E_BUSY, "->Completion Status = 0x80040406\n" },
        // An end found by the wait is handled as an end: 5 s into 120 s is a decoding error.
        WaitCase { "PendingThenEnd", notDue, endOfStream, -2, MS_S_PENDING,
            "MS_S_ENDOFSTREAM at 5040/120000\n>> Error Detected : advance 0.5 sec to skip this.\nSeek=5540\n" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StreamRules, FrameAtOnceIsZeroWithoutAWait)
{
    EXPECT_EQ(update(1000, 1040, { delivered }), 0);
    EXPECT_EQ(stream->lastResult, 0);
    EXPECT_EQ(script->timeouts.size(), 1u);
    EXPECT_EQ(logged(), "");
}

TEST_F(StreamRules, ClockJumpOfMoreThanAMinuteSeeksThreeSecondsOnFromBefore)
{
    struct Case {
        int64_t before, after;
        bool seeks;
    } cases[] = {
        { 10000, 75000, true },
        { 10000, 9000, true },  // a step back wraps to a huge difference
        { 10000, 70000, false },  // exactly a minute is no jump
        { 10000, 70001, true },
        { 10000, 10000, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.after);
        EXPECT_EQ(update(c.before, c.after, { delivered }), 0);
        if (c.seeks) {
            ASSERT_EQ(script->seeks.size(), 1u);
            EXPECT_EQ(script->seeks[0], ms(13000));
        } else {
            EXPECT_TRUE(script->seeks.empty());
        }
    }
}

TEST_F(StreamRules, EndOfStreamWellBeforeTheDurationIsSkippedAndNearItIsTheEnd)
{
    struct Case {
        int64_t before, after;
        bool realEnd;
    } cases[] = {
        { 30000, 30040, false },
        { 118999, 119040, false },
        { 119000, 119040, true },  // exactly one second before the end
        { 119500, 119540, true },
        { 125000, 125000, true },  // past the promised length
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        ASSERT_EQ(stream->setRun(1), 0);
        int stops = script->stopCalls;
        logStart = log.text().size();
        EXPECT_EQ(update(c.before, c.after, { endOfStream }), -2);
        EXPECT_EQ(stream->lastResult, MS_S_ENDOFSTREAM);
        std::string head = "MS_S_ENDOFSTREAM at " + std::to_string(c.after) + "/120000\n";
        if (c.realEnd) {
            EXPECT_EQ(stream->ended, 1);
            EXPECT_FALSE(script->running);
            EXPECT_EQ(script->stopCalls, stops + 1);
            EXPECT_TRUE(script->seeks.empty());
            EXPECT_EQ(logged(), head);
        } else {
            EXPECT_EQ(stream->ended, 0);
            EXPECT_TRUE(script->running);
            ASSERT_EQ(script->seeks.size(), 1u);
            EXPECT_EQ(script->seeks[0], ms(c.after + 500));
            EXPECT_EQ(logged(),
                head + ">> Error Detected : advance 0.5 sec to skip this.\nSeek=" + std::to_string(c.after + 500) + "\n");
        }
    }
}

TEST_F(StreamRules, UnexpectedResultRestartsTheStateItFound)
{
    // An engine answer the sample does not know makes Update fail.
    const FrameDelivery unknown { static_cast<FrameOutcome>(99) };
    for (bool running : { true, false }) {
        SCOPED_TRACE(running);
        ASSERT_EQ(stream->setRun(running ? 1 : 0), 0);
        int runs = script->runCalls, stops = script->stopCalls;
        EXPECT_EQ(update(2000, 2040, { unknown }), -3);
        EXPECT_EQ(stream->lastResult, E_FAIL);
        EXPECT_EQ(script->running, running);
        EXPECT_EQ(script->stopCalls, stops + (running ? 1 : 2));
        EXPECT_EQ(script->runCalls, runs + (running ? 1 : 0));
    }
}

TEST_F(StreamRules, SeekConvertsToStreamTimeAndMakesZeroOneMillisecond)
{
    EXPECT_EQ(stream->seek(0), 0);
    EXPECT_EQ(stream->seek(65000), 0);
    // The largest time: the product needs 64 bits.
    EXPECT_EQ(stream->seek(0xFFFFFFFFu), 0);
    ASSERT_EQ(script->seeks.size(), 3u);
    EXPECT_EQ(script->seeks[0].count(), 10'000);
    EXPECT_EQ(script->seeks[1].count(), 650'000'000);
    EXPECT_EQ(script->seeks[2].count(), 42'949'672'950'000);
    EXPECT_EQ(logged(), "Seek=0\nSeek=65000\nSeek=-1\n");
}

TEST_F(StreamRules, TimesLeaveInMillisecondsTruncated)
{
    script->time = MediaTime(123'456'789);
    EXPECT_EQ(stream->currentTime(), 12345u);
    script->time = MediaTime(9'999);
    EXPECT_EQ(stream->currentTime(), 0u);
}

TEST_F(StreamRules, EngineFailuresStopCreationAtTheirStep)
{
    stream->release();
    struct Case {
        platform::OpenError error;
        bool video;
        int32_t step;
    } cases[] = {
        { platform::OpenError::FileNotFound, true, 6 },
        { platform::OpenError::UnknownFormat, true, 6 },
        { platform::OpenError::NoPlayableStream, true, 6 },
    };
    for (const Case& c : cases) {
        script->openError = c.error;
        script->properties.hasVideo = c.video;
        MediaStream failed(sys.displays.display.get(), "scripted.avi");
        EXPECT_EQ(failed.lastResult, c.step);
        EXPECT_EQ(failed.stream, nullptr);
    }
}

}
