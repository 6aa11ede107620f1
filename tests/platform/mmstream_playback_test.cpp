// Real movies through the multimedia stream: fixtures encoded at test time, decoded by FFmpeg, sound on
// the dummy audio device.
#include "movie_fixture.h"
#include "platform/com.h"
#include "platform/kernel.h"
#include "platform/mmstream/manual_sound_device.h"
#include "platform/mmstream/mmstream.h"
#include "support/movie_set.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <chrono>

using fixtures::MovieKind;
using testing_support::ScratchDir;

namespace {

constexpr STREAM_TIME oneMs = 10'000;
constexpr STREAM_TIME frameTime = 100 * oneMs;  // the fixtures run at 10 frames per second

std::u16string widen(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

// One opened movie with the sample of its primary video, set up the way a player does it.
class Player {
public:
    Player() { CoInitialize(nullptr); }
    ~Player()
    {
        if (sample_)
            sample_->Release();
        if (target_)
            target_->sampleRelease();
        if (stream_)
            stream_->Release();
        CoUninitialize();
    }

    // Opens path; S_OK when the movie and its video sample are ready.
    HRESULT open(const std::string& path, platform::PixelFormat format = platform::PixelFormat::XRGB8888)
    {
        HRESULT hr = CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
            reinterpret_cast<void**>(&stream_));
        if (FAILED(hr) || FAILED(hr = stream_->Initialize(STREAMTYPE_READ, 0, nullptr)))
            return hr;
        auto* factory = platform::MemorySampleTargetFactory::create(format);
        hr = stream_->AddMediaStream(factory, &MSPID_PrimaryVideo, 0, nullptr);
        factory->factoryRelease();
        if (FAILED(hr)
            || FAILED(hr = stream_->AddMediaStream(nullptr, &MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr)))
            return hr;
        if (FAILED(hr = stream_->OpenFile(widen(path).c_str(), 0)))
            return hr;
        IMediaStream* media = nullptr;
        if (FAILED(hr = stream_->GetMediaStream(MSPID_PrimaryVideo, &media)))
            return hr;
        IDirectDrawMediaStream* video = nullptr;
        hr = media->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&video));
        media->Release();
        if (FAILED(hr))
            return hr;
        hr = video->CreateSample(nullptr, nullptr, 0, &sample_);
        video->Release();
        if (FAILED(hr))
            return hr;
        return sample_->GetSurface(&target_, &rect_);
    }

    IAMMultiMediaStream* stream() { return stream_; }
    const RECT& rect() const { return rect_; }
    const platform::Surface& picture() { return target_->samplePixels(); }
    int frame() { return fixtures::frameNumberIn(picture()); }

    HRESULT update() { return sample_->Update(SSUPDATE_CONTINUOUS, nullptr, nullptr, 0); }
    // The next picture while sound plays only when told to: one buffer of it whenever the picture
    // asked for is not due yet, so that the clock reaches each picture's time and never passes the
    // next one's before the picture is taken, whatever the load. Bounded, so a stuck stream fails.
    HRESULT nextPictureWith(platform::ManualSoundDevice& sound)
    {
        HRESULT hr = sample_->Update(SSUPDATE_ASYNC, nullptr, nullptr, 0);
        for (int i = 0; i < 2000 && (hr == MS_S_PENDING || hr == MS_E_BUSY); ++i) {
            if (hr == MS_S_PENDING && sound.play(std::chrono::milliseconds(1)) == 0)
                return E_FAIL;  // nothing plays: the clock cannot move
            // A decoder that is behind gets a moment; with the sound standing, its picture is not late.
            hr = sample_->CompletionStatus(hr == MS_E_BUSY ? COMPSTAT_WAIT : 0, 50);
        }
        return hr;
    }
    // Updates until a picture arrives or the stream ends; bounded, so a stuck stream fails the test.
    HRESULT nextPicture()
    {
        for (int i = 0; i < 200; ++i) {
            HRESULT hr = update();
            if (hr == MS_S_PENDING || hr == MS_E_BUSY)
                hr = sample_->CompletionStatus(COMPSTAT_WAIT, 250);
            if (hr == S_OK || hr == MS_S_ENDOFSTREAM || (FAILED(hr) && hr != MS_E_BUSY))
                return hr;
        }
        return E_FAIL;
    }
    STREAM_TIME sampleStart()
    {
        STREAM_TIME start = -1;
        sample_->GetSampleTimes(&start, nullptr, nullptr);
        return start;
    }
    STREAM_TIME time()
    {
        STREAM_TIME t = -1;
        EXPECT_EQ(stream_->GetTime(&t), S_OK);
        return t;
    }
    void run() { ASSERT_EQ(stream_->SetState(STREAMSTATE_RUN), S_OK); }
    void stop() { ASSERT_EQ(stream_->SetState(STREAMSTATE_STOP), S_OK); }
    void seekMs(int64_t ms) { ASSERT_EQ(stream_->Seek(ms * oneMs), S_OK); }

    STREAM_TIME offset = 0;  // when the movie's first picture starts

private:
    IAMMultiMediaStream* stream_ = nullptr;
    IDirectDrawStreamSample* sample_ = nullptr;
    platform::SampleTarget* target_ = nullptr;
    RECT rect_ {};
};

// The shared movie set, and the same movie without sound.
class Movies {
public:
    static Movies& get()
    {
        static Movies movies;
        return movies;
    }
    std::string path(MovieKind kind) { return set_.path(kind); }
    std::string audioOnly() { return set_.audioOnly(); }
    std::string silent() { return silent_; }

private:
    Movies()
    {
        fixtures::MovieRecipe picture;
        picture.withAudio = false;
        silent_ = (set_.dir() / "silent.avi").string();
        if (!fixtures::writeMovie(silent_, picture).empty())
            silent_.clear();
    }

    testing_support::MovieSet set_;
    std::string silent_;
};

class MoviePlayback : public ::testing::TestWithParam<MovieKind> {
protected:
    void SetUp() override
    {
        if (!fixtures::canEncode(GetParam()))
            GTEST_SKIP() << "this FFmpeg cannot encode the movie";
        path = Movies::get().path(GetParam());
        ASSERT_EQ(player.open(path), S_OK);
        // The first picture shows even stopped, once decoded (a loaded machine may take longer than one
        // update waits). Its time is where the movie's pictures begin: a container may start them a
        // little after the sound.
        ASSERT_EQ(player.nextPicture(), S_OK);
        ASSERT_EQ(player.frame(), 0);
        player.offset = player.sampleStart();
        EXPECT_GE(player.offset, 0);
        EXPECT_LT(player.offset, frameTime);
    }
    // The frame shown at a time: the last one that starts at or before it (the first before any).
    int frameAt(int64_t ms) const
    {
        STREAM_TIME t = ms * oneMs - player.offset;
        return t < 0 ? 0 : static_cast<int>(t / frameTime);
    }
    std::string path;
    Player player;
};

// The frame number in the picture and the sample's time stamp tell the same frame.
void expectConsistentFrame(Player& player)
{
    int frame = player.frame();
    ASSERT_GE(frame, 0) << "no frame number in the picture";
    EXPECT_EQ(player.sampleStart(), player.offset + frame * frameTime);
}

std::string logged;
void captureLog(const char* text)
{
    logged += text;
}

}

TEST_P(MoviePlayback, OpensWithDurationAndPictureSize)
{
    STREAM_TIME duration = 0;
    EXPECT_EQ(player.stream()->GetDuration(&duration), S_OK);
    EXPECT_NEAR(static_cast<double>(duration), 30 * frameTime, 10 * oneMs * 10);
    EXPECT_EQ(player.rect().left, 0);
    EXPECT_EQ(player.rect().top, 0);
    EXPECT_EQ(player.rect().right, 176);
    EXPECT_EQ(player.rect().bottom, 144);
    STREAM_STATE state = STREAMSTATE_RUN;
    EXPECT_EQ(player.stream()->GetState(&state), S_OK);
    EXPECT_EQ(state, STREAMSTATE_STOP);
    EXPECT_EQ(player.time(), 0);
}

TEST(MovieFiles, ASampleSurfaceStartsBlack)
{
    Player player;
    ASSERT_EQ(player.open(Movies::get().path(MovieKind::Mpeg4PcmAvi)), S_OK);
    EXPECT_EQ(player.frame(), -1);
    for (uint8_t byte : player.picture().pixels)
        ASSERT_EQ(byte, 0);
}

TEST_P(MoviePlayback, FramesAdvanceWithTheClock)
{
    player.run();
    int previous = -1;
    for (int shown = 0; shown < 8; ++shown) {
        ASSERT_EQ(player.nextPicture(), S_OK);
        expectConsistentFrame(player);
        int frame = player.frame();
        EXPECT_GT(frame, previous);
        // A frame is delivered only once it is due.
        STREAM_TIME now = 0;
        ASSERT_EQ(player.stream()->GetTime(&now), S_OK);
        EXPECT_LE(player.sampleStart(), now);
        previous = frame;
    }
}

TEST_P(MoviePlayback, SeekWhileStoppedShowsTheFrameAtTheTarget)
{
    // Key frames are 1.2 s apart: most targets need pictures decoded and dropped before them.
    for (int64_t ms : {1250, 2000, 350, 1199, 0, 2950, 1000, 2399, 2400, 30}) {
        SCOPED_TRACE(ms);
        player.seekMs(ms);
        EXPECT_EQ(player.time(), ms * oneMs);
        ASSERT_EQ(player.nextPicture(), S_OK);
        EXPECT_EQ(player.frame(), frameAt(ms));
        expectConsistentFrame(player);
        // The clock holds while stopped, and the picture stands.
        EXPECT_EQ(player.time(), ms * oneMs);
        ASSERT_EQ(player.update(), S_OK);
        EXPECT_EQ(player.frame(), frameAt(ms));
    }
}

// Frame steps while stopped give exactly the neighbouring picture, back across a keyframe too (each
// found by decoding from the keyframe before it), with the time at the picture's start; at the first and
// the last picture, while running, and while a step's picture is still to come, nothing moves.
TEST_P(MoviePlayback, FrameStepsShowExactlyTheNeighbouringPicture)
{
    EXPECT_FALSE(platform::mediaEngineOf(player.stream())->stepFrame(false));
    player.seekMs(1450);
    ASSERT_EQ(player.nextPicture(), S_OK);
    ASSERT_EQ(player.frame(), 14);
    auto step = [&](bool forward, int expected) {
        SCOPED_TRACE(expected);
        ASSERT_TRUE(platform::mediaEngineOf(player.stream())->stepFrame(forward));
        EXPECT_FALSE(platform::mediaEngineOf(player.stream())->stepFrame(forward));
        ASSERT_EQ(player.nextPicture(), S_OK);
        EXPECT_EQ(player.frame(), expected);
        expectConsistentFrame(player);
        EXPECT_EQ(player.time(), player.sampleStart());
    };
    for (int expected : {13, 12, 11, 10})
        step(false, expected);
    for (int expected : {11, 12, 13})
        step(true, expected);
    player.seekMs(2950);
    ASSERT_EQ(player.nextPicture(), S_OK);
    ASSERT_EQ(player.frame(), 29);
    platform::mediaEngineOf(player.stream())->stepFrame(true);
    ASSERT_EQ(player.nextPicture(), S_OK);
    EXPECT_EQ(player.frame(), 29);
    player.run();
    EXPECT_FALSE(platform::mediaEngineOf(player.stream())->stepFrame(false));
}

// A first picture that takes long to show (a window coming up, a slow first frame) costs no picture
// after it: the clock and the sound start only once the caller comes back for the next one, at the
// start and after a seek. The sound device plays only when told to: 450 ms (four and a half frames)
// while the caller is away, then in steps of one buffer while it waits for each picture, so that the
// load of the machine decides nothing.
TEST_P(MoviePlayback, NoPictureIsSkippedAfterASlowFirstPresentation)
{
    constexpr std::chrono::milliseconds slowPresentation {450};
    platform::ManualSoundDevice sound;
    Player slow;
    ASSERT_EQ(slow.open(path), S_OK);
    ASSERT_EQ(slow.nextPicture(), S_OK);
    ASSERT_EQ(slow.frame(), 0);
    ASSERT_EQ(slow.sampleStart(), player.offset);
    slow.run();
    ASSERT_GT(sound.play(slowPresentation), 0);
    EXPECT_EQ(slow.time(), 0) << "the clock holds while the first picture is being shown";
    for (int expected = 1; expected <= 3; ++expected) {
        ASSERT_EQ(slow.nextPictureWith(sound), S_OK);
        EXPECT_EQ(slow.frame(), expected);
    }
    slow.seekMs(1500);
    ASSERT_EQ(slow.nextPictureWith(sound), S_OK);
    const int first = slow.frame();
    EXPECT_EQ(first, frameAt(1500));
    ASSERT_GT(sound.play(slowPresentation), 0);
    EXPECT_EQ(slow.time(), 1500 * oneMs);
    for (int expected = first + 1; expected <= first + 3; ++expected) {
        ASSERT_EQ(slow.nextPictureWith(sound), S_OK);
        EXPECT_EQ(slow.frame(), expected);
    }
}

TEST_P(MoviePlayback, SeekWhileRunningContinuesFromTheTarget)
{
    player.run();
    ASSERT_EQ(player.nextPicture(), S_OK);
    player.seekMs(2000);
    ASSERT_EQ(player.nextPicture(), S_OK);
    expectConsistentFrame(player);
    EXPECT_GE(player.frame(), frameAt(2000));
    player.seekMs(500);
    ASSERT_EQ(player.nextPicture(), S_OK);
    expectConsistentFrame(player);
    EXPECT_GE(player.frame(), frameAt(500));
    EXPECT_LT(player.frame(), frameAt(2000));
}

TEST_P(MoviePlayback, StopKeepsThePosition)
{
    player.run();
    do
        ASSERT_EQ(player.nextPicture(), S_OK);
    while (player.frame() < 3);
    player.stop();
    STREAM_STATE state = STREAMSTATE_RUN;
    EXPECT_EQ(player.stream()->GetState(&state), S_OK);
    EXPECT_EQ(state, STREAMSTATE_STOP);
    const STREAM_TIME held = player.time();
    // At most the frame that was due when the clock stopped arrives; then the picture stands.
    ASSERT_EQ(player.update(), S_OK);
    const int frame = player.frame();
    EXPECT_LE(player.offset + frame * frameTime, held);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(player.update(), S_OK);
        EXPECT_EQ(player.frame(), frame);
        EXPECT_EQ(player.time(), held);
    }
    player.run();
    ASSERT_EQ(player.nextPicture(), S_OK);
    expectConsistentFrame(player);
    EXPECT_GT(player.frame(), frame);
    EXPECT_GE(player.time(), held);
}

TEST_P(MoviePlayback, PlaysToTheEnd)
{
    player.seekMs(2500);
    player.run();
    int last = -1;
    HRESULT hr = S_OK;
    for (int i = 0; i < 100 && hr != MS_S_ENDOFSTREAM; ++i) {
        hr = player.nextPicture();
        if (hr == S_OK)
            last = player.frame();
    }
    ASSERT_EQ(hr, MS_S_ENDOFSTREAM);
    EXPECT_EQ(last, 29);
    EXPECT_GE(player.time(), 29 * frameTime);
    EXPECT_EQ(player.update(), MS_S_ENDOFSTREAM);
    // A seek back brings the movie back.
    player.seekMs(1000);
    ASSERT_EQ(player.nextPicture(), S_OK);
    EXPECT_GE(player.frame(), frameAt(1000));
}

TEST_P(MoviePlayback, DecodesIntoSixteenBitSurfaces)
{
    Player sixteen;
    ASSERT_EQ(sixteen.open(path, platform::PixelFormat::RGB565), S_OK);
    EXPECT_EQ(sixteen.picture().format, platform::PixelFormat::RGB565);
    sixteen.seekMs(1500);
    ASSERT_EQ(sixteen.nextPicture(), S_OK);
    EXPECT_EQ(sixteen.frame(), frameAt(1500));
    // The grey between the rows is mid grey in either format.
    int r, g, b;
    platform::readRgb(sixteen.picture(), 88, 72, r, g, b);
    EXPECT_NEAR(r, 128, 12);
    EXPECT_NEAR(g, 128, 12);
    EXPECT_NEAR(b, 128, 12);
}

INSTANTIATE_TEST_SUITE_P(Kinds, MoviePlayback,
    ::testing::Values(MovieKind::Mpeg4PcmAvi, MovieKind::Wmv2WmaAsf, MovieKind::H264AacMp4), testing_support::movieKindName);

TEST(MovieFiles, BadFilesAreRefusedWithTheirCodes)
{
    ScratchDir dir;
    struct {
        std::string path;
        HRESULT expected;
    } cases[] = {
        {dir.file("missing.avi"), static_cast<HRESULT>(0x80070002u)},
        {dir.write("notes.avi", "This is a text file, not a movie.\r\nSecond line.\r\n"), VFW_E_UNKNOWN_FILE_TYPE},
        {dir.write("empty.avi", ""), VFW_E_UNKNOWN_FILE_TYPE},
        {dir.path().string(), VFW_E_UNKNOWN_FILE_TYPE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Player player;
        EXPECT_EQ(player.open(c.path), c.expected);
    }
}

TEST(MovieFiles, PicturesAreConvertedWithTheirColourMatrix)
{
    ScratchDir dir;
    fixtures::MovieRecipe hd;
    hd.width = 1280;
    hd.height = 720;
    hd.frameCount = 2;
    hd.withAudio = false;
    std::string hdPath = dir.file("hd.avi");
    ASSERT_EQ(fixtures::writeMovie(hdPath, hd), "");
    // Untagged pictures: standard definition decodes as BT.601 (pure red), high definition as BT.709
    // (red with green near 24).
    const struct {
        std::string path;
        int greenLow, greenHigh;
    } cases[] = {{Movies::get().path(MovieKind::Mpeg4PcmAvi), 0, 8}, {hdPath, 16, 32}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Player player;
        ASSERT_EQ(player.open(c.path), S_OK);
        ASSERT_EQ(player.nextPicture(), S_OK);
        const platform::Surface& picture = player.picture();
        int r, g, b;
        platform::readRgb(picture, picture.width / 6, picture.height / 2, r, g, b);
        EXPECT_GE(r, 240);
        EXPECT_GE(g, c.greenLow);
        EXPECT_LE(g, c.greenHigh);
        EXPECT_LE(b, 8);
    }
}

// Sound only: a black 640x480 picture stands in for the movie until the sound has played out.
TEST(MovieFiles, AnAudioOnlyFileShowsBlackUntilItsSoundEnds)
{
    ASSERT_FALSE(Movies::get().audioOnly().empty());
    Player player;
    ASSERT_EQ(player.open(Movies::get().audioOnly()), S_OK);
    STREAM_TIME duration = 0;
    EXPECT_EQ(player.stream()->GetDuration(&duration), S_OK);
    EXPECT_NEAR(static_cast<double>(duration), 30 * frameTime, 100 * oneMs);
    EXPECT_EQ(player.rect().right - player.rect().left, 640);
    EXPECT_EQ(player.rect().bottom - player.rect().top, 480);
    player.seekMs(2500);
    EXPECT_FALSE(platform::mediaEngineOf(player.stream())->stepFrame(true)) << "no picture of its own to step through";
    player.run();
    ASSERT_EQ(player.nextPicture(), S_OK);
    const platform::Surface& picture = player.picture();
    EXPECT_TRUE(std::all_of(picture.pixels.begin(), picture.pixels.end(), [](uint8_t b) { return b == 0; }));
    HRESULT hr = S_OK;
    for (int i = 0; i < 200 && hr == S_OK; ++i)
        hr = player.nextPicture();
    EXPECT_EQ(hr, MS_S_ENDOFSTREAM);
    EXPECT_GE(player.time(), 2900 * oneMs);
}

TEST(MovieFiles, AMovieWithoutSoundRunsOnTheMonotonicClock)
{
    ASSERT_FALSE(Movies::get().silent().empty());
    Player player;
    ASSERT_EQ(player.open(Movies::get().silent()), S_OK);
    IMediaStream* audio = nullptr;
    EXPECT_EQ(player.stream()->GetMediaStream(MSPID_PrimaryAudio, &audio), MS_E_NOSTREAM);
    player.run();
    int previous = -1;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(player.nextPicture(), S_OK);
        expectConsistentFrame(player);
        EXPECT_GT(player.frame(), previous);
        previous = player.frame();
    }
}

TEST(MovieFiles, ATruncatedMovieEndsEarly)
{
    ScratchDir dir;
    std::string whole = testing_support::readFile(Movies::get().path(MovieKind::Mpeg4PcmAvi));
    std::string cut = dir.write("cut.avi", whole.substr(0, whole.size() / 2));
    Player player;
    ASSERT_EQ(player.open(cut), S_OK);
    player.seekMs(900);
    player.run();
    int last = -1;
    HRESULT hr = S_OK;
    for (int i = 0; i < 100 && hr != MS_S_ENDOFSTREAM; ++i) {
        hr = player.nextPicture();
        if (hr == S_OK)
            last = player.frame();
    }
    EXPECT_EQ(hr, MS_S_ENDOFSTREAM);
    EXPECT_GE(last, 9);
    EXPECT_LT(last, 29);
}

TEST(MovieFiles, DamagedPacketsAreSkipped)
{
    ScratchDir dir;
    std::string bytes = testing_support::readFile(Movies::get().path(MovieKind::Mpeg4PcmAvi));
    // Garbage over a stretch in the middle of the movie data.
    for (std::size_t i = bytes.size() * 2 / 5; i < bytes.size() * 2 / 5 + 3000 && i < bytes.size(); i += 7)
        bytes[i] = static_cast<char>(0xA5 ^ i);
    std::string damaged = dir.write("damaged.avi", bytes);
    Player player;
    ASSERT_EQ(player.open(damaged), S_OK);
    player.seekMs(800);
    player.run();
    HRESULT hr = S_OK;
    for (int i = 0; i < 100 && hr != MS_S_ENDOFSTREAM; ++i)
        hr = player.nextPicture();
    EXPECT_EQ(hr, MS_S_ENDOFSTREAM);
}

TEST(MovieFiles, WithoutASoundDeviceTheMoviePlaysSilently)
{
    const char* previous = std::getenv("SDL_AUDIODRIVER");
    std::string saved = previous ? previous : "";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    logged.clear();
    platform::setLogSink(&captureLog);
    {
        Player player;
        ASSERT_EQ(player.open(Movies::get().path(MovieKind::Mpeg4PcmAvi)), S_OK);
        player.run();
        ASSERT_EQ(player.nextPicture(), S_OK);
        expectConsistentFrame(player);
        ASSERT_EQ(player.nextPicture(), S_OK);
        EXPECT_GT(player.time(), 0);
    }
    platform::setLogSink(nullptr);
    if (previous)
        setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
    else
        unsetenv("SDL_AUDIODRIVER");
    EXPECT_NE(logged.find("playing silently"), std::string::npos) << logged;
}

// A sound-only file with no sound device has neither stream to play, yet opens (its duration is known)
// and may be sought and run without the demuxer seeking in a stream it does not read.
TEST(MovieFiles, ASoundOnlyFileWithoutASoundDeviceSeeksAndRuns)
{
    ASSERT_FALSE(Movies::get().audioOnly().empty());
    const char* previous = std::getenv("SDL_AUDIODRIVER");
    std::string saved = previous ? previous : "";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    {
        Player player;
        EXPECT_EQ(player.open(Movies::get().audioOnly()), S_OK);
        IMediaStream* audio = nullptr;
        EXPECT_EQ(player.stream()->GetMediaStream(MSPID_PrimaryAudio, &audio), MS_E_NOSTREAM);
        for (int ms : {1500, 0, 2900}) {
            EXPECT_EQ(player.stream()->Seek(ms * oneMs), S_OK);
            EXPECT_EQ(player.time(), ms * oneMs);
        }
        // The clock runs on from the last target.
        EXPECT_EQ(player.stream()->SetState(STREAMSTATE_RUN), S_OK);
        for (int i = 0; i < 300 && player.time() <= 2900 * oneMs; ++i)
            Sleep(10);
        EXPECT_GT(player.time(), 2900 * oneMs);
        // Without sound the stream ends on the clock at the end of the file.
        HRESULT hr = S_OK;
        for (int i = 0; i < 200 && hr == S_OK; ++i)
            hr = player.nextPicture();
        EXPECT_EQ(hr, MS_S_ENDOFSTREAM);
    }
    if (previous)
        setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
    else
        unsetenv("SDL_AUDIODRIVER");
}

TEST(MovieFiles, ReleasingAtAnyMomentStopsEveryThread)
{
    const std::string path = Movies::get().path(MovieKind::Mpeg4PcmAvi);
    for (int round = 0; round < 6; ++round) {
        Player player;
        ASSERT_EQ(player.open(path), S_OK);
        if (round % 3 >= 1)
            player.run();
        if (round % 3 == 2)
            player.nextPicture();
        if (round % 2)
            player.seekMs(1500);
    }
}
