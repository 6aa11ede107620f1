// MediaStream on real movies: fixtures encoded at test time, decoded by FFmpeg into surfaces of a
// Display on the scripted display driver, sound on the dummy audio device.
#include "media/media_stream.h"
#include "platform/mmstream/mmstream.h"
#include "stream_setup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

using fixtures::MovieKind;
using sublumen::MediaStream;

namespace {

constexpr int frameMs = 100;  // the fixtures run at 10 frames per second

int frameIn(platform::ConstPixelView picture) { return fixtures::frameNumberIn(picture); }

platform::PixelView& pictureOf(MediaStream& stream) { return *stream.surface->pixels(); }

// The part of a surface inside rect, as a surface of its own.
platform::Surface crop(platform::ConstPixelView from, const RECT& rect)
{
    platform::Surface part(rect.right - rect.left, rect.bottom - rect.top, from.format);
    int bytes = from.bitsPerPixel() / 8;
    for (int y = 0; y < part.height; ++y)
        std::memcpy(part.row(y), from.row(rect.top + y) + rect.left * bytes, static_cast<std::size_t>(part.pitch));
    return part;
}

platform::Surface mirrored(platform::ConstPixelView from)
{
    platform::Surface flipped = from;
    for (int y = 0; y < from.height; ++y)
        std::memcpy(flipped.row(y), from.row(from.height - 1 - y), static_cast<std::size_t>(from.pitch));
    return flipped;
}

// Updates until a new picture is in the surface (0) or something else ends the wait; bounded.
int nextPicture(MediaStream& stream)
{
    int rc = 1;
    for (int i = 0; i < 40; ++i) {
        rc = stream.update();
        if (rc == 0 || rc == -2 || rc == -3 || rc == -1)
            return rc;
    }
    return rc;
}

int64_t sampleStartMs(MediaStream& stream)
{
    STREAM_TIME start = -1;
    stream.sample->GetSampleTimes(&start, nullptr, nullptr);
    return start / 10'000;
}

class MovieStream : public stream_setup::DisplayTest, public ::testing::WithParamInterface<MovieKind> {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        std::string path = stream_setup::Movies::get().path(GetParam());
        if (path.empty())
            GTEST_SKIP() << "this FFmpeg cannot encode the movie";
        stream = std::make_unique<MediaStream>(sys.displays.display.get(), path.c_str());
        ASSERT_EQ(stream->lastResult, 0);
        ASSERT_NE(stream->stream, nullptr);
        // The first picture shows at once, stopped; its time is where the movie's pictures begin (a
        // container may start them a little after the sound).
        ASSERT_EQ(nextPicture(*stream), 0);
        ASSERT_EQ(frameIn(pictureOf(*stream)), 0);
        offsetMs = sampleStartMs(*stream);
        ASSERT_GE(offsetMs, 0);
        ASSERT_LT(offsetMs, frameMs);
    }
    void TearDown() override
    {
        if (stream)
            stream->release();
        stream.reset();
        DisplayTest::TearDown();
    }
    // The frame shown at a time: the last one that starts at or before it (the first before any).
    int frameAt(int64_t ms) const { return ms < offsetMs ? 0 : static_cast<int>((ms - offsetMs) / frameMs); }

    std::unique_ptr<MediaStream> stream;
    int64_t offsetMs = 0;
};

TEST_P(MovieStream, OpensStoppedWithItsDurationAndPictureSize)
{
    EXPECT_NEAR(static_cast<double>(stream->duration), 3000.0, 150.0);
    EXPECT_EQ(stream->videoRect.left, 0);
    EXPECT_EQ(stream->videoRect.top, 0);
    EXPECT_EQ(stream->videoRect.right, 176);
    EXPECT_EQ(stream->videoRect.bottom, 144);
    EXPECT_EQ(stream->getState(), 0);
    EXPECT_EQ(stream->ended, 0);
    EXPECT_EQ(stream->currentTime(), 0u);
    // The sample decodes into a surface of the display, in its format, so frames blit without conversion.
    EXPECT_EQ(pictureOf(*stream).format, sys.displays.backSurface()->surface->pixels()->format);
}

TEST_P(MovieStream, FramesFollowTheClock)
{
    ASSERT_EQ(stream->setRun(1), 0);
    EXPECT_EQ(stream->getState(), 1);
    std::vector<int> shown;
    for (int i = 0; i < 400 && stream->currentTime() < 1500; ++i) {
        int rc = stream->update();
        ASSERT_TRUE(rc == 0 || rc == 1 || rc == 2) << rc;
        if (rc != 0)
            continue;
        int64_t start = sampleStartMs(*stream);
        // The picture in the surface is the one the sample is timed for, and never shown before its time.
        EXPECT_EQ(frameIn(pictureOf(*stream)), frameAt(start));
        EXPECT_LE(start, static_cast<int64_t>(stream->currentTime()));
        shown.push_back(frameAt(start));
    }
    ASSERT_GE(stream->currentTime(), 1500u);
    std::set<int> distinct(shown.begin(), shown.end());
    EXPECT_GE(distinct.size(), 5u);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_GE(shown.back(), frameAt(1400));
}

TEST_P(MovieStream, StopKeepsThePositionAndRunContinuesFromIt)
{
    ASSERT_EQ(stream->setRun(1), 0);
    for (int i = 0; i < 400 && stream->currentTime() < 1000; ++i)
        stream->update();
    ASSERT_EQ(stream->setRun(0), 0);
    EXPECT_EQ(stream->getState(), 0);
    nextPicture(*stream);
    uint32_t held = stream->currentTime();
    int frame = frameIn(pictureOf(*stream));
    EXPECT_EQ(frame, frameAt(held));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(stream->update(), 0);
        EXPECT_EQ(frameIn(pictureOf(*stream)), frame);
    }
    EXPECT_EQ(stream->currentTime(), held);

    ASSERT_EQ(stream->setRun(1), 0);
    ASSERT_EQ(nextPicture(*stream), 0);
    EXPECT_GT(frameIn(pictureOf(*stream)), frame);
    EXPECT_GE(stream->currentTime(), held);
}

TEST_P(MovieStream, SeekLandsOnTheFrameAtTheTarget)
{
    // Stopped: each seek shows the picture of its target at once.
    for (uint32_t target : {1250u, 2050u, 550u, 0u, 2950u, 1999u}) {
        SCOPED_TRACE(target);
        EXPECT_EQ(stream->seek(target), 0);
        ASSERT_EQ(nextPicture(*stream), 0);
        EXPECT_EQ(frameIn(pictureOf(*stream)), frameAt(target == 0 ? 1 : target));
        EXPECT_EQ(stream->currentTime(), target == 0 ? 1u : target);
    }
    EXPECT_NE(log.text().find("Seek=1250\nSeek=2050\nSeek=550\nSeek=0\n"), std::string::npos);

    // Running, the first picture after the seek is still the one at the target.
    ASSERT_EQ(stream->setRun(1), 0);
    stream->seek(1750);
    ASSERT_EQ(nextPicture(*stream), 0);
    EXPECT_EQ(frameIn(pictureOf(*stream)), frameAt(1750));
}

TEST_P(MovieStream, RealEndStopsTheStreamAndSetsEnded)
{
    stream->seek(2500);
    ASSERT_EQ(stream->setRun(1), 0);
    int rc = 0;
    for (int i = 0; i < 400 && rc != -2; ++i)
        rc = stream->update();
    ASSERT_EQ(rc, -2);
    EXPECT_EQ(stream->ended, 1);
    EXPECT_EQ(stream->getState(), 0);
    EXPECT_EQ(frameIn(pictureOf(*stream)), 29);
    std::string text = log.text();
    EXPECT_NE(text.find("MS_S_ENDOFSTREAM at "), std::string::npos);
    EXPECT_EQ(text.find(">> Error Detected"), std::string::npos);
    // Running again clears the flag.
    EXPECT_EQ(stream->setRun(1), 0);
    EXPECT_EQ(stream->ended, 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, MovieStream,
    ::testing::Values(MovieKind::Mpeg4PcmAvi, MovieKind::Wmv2WmaAsf, MovieKind::H264AacMp4), testing_support::movieKindName);

class StreamOnDisplay : public stream_setup::DisplayTest { };

TEST_F(StreamOnDisplay, CutMovieEndsWhereItsDataEnds)
{
    const std::string& path = stream_setup::Movies::get().truncated;
    if (path.empty())
        GTEST_SKIP() << "this FFmpeg cannot encode the movie";
    MediaStream stream(sys.displays.display.get(), path.c_str());
    ASSERT_EQ(stream.lastResult, 0);
    EXPECT_NEAR(static_cast<double>(stream.duration), 3000.0, 150.0);
    ASSERT_EQ(stream.setRun(1), 0);
    int rc = 0;
    for (int i = 0; i < 400 && rc != -2; ++i)
        rc = stream.update();
    ASSERT_EQ(rc, -2);
    // The pictures stopped well before the promised length because the file ends there: that is the
    // movie's real end, not a decoding error to skip past.
    std::string text = log.text();
    std::size_t at = text.find("MS_S_ENDOFSTREAM at ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_LT(static_cast<uint32_t>(std::stoul(text.substr(at + 20))), 2000u);
    EXPECT_EQ(text.find(">> Error Detected"), std::string::npos) << text;
    EXPECT_EQ(stream.ended, 1);
    EXPECT_EQ(stream.getState(), 0);
    // The length announced at the start stays the movie's duration.
    EXPECT_NEAR(static_cast<double>(stream.duration), 3000.0, 150.0);
    stream.release();
}

TEST_F(StreamOnDisplay, BlitFrameCopiesPlainMirroredAndHalftone)
{
    MediaStream stream(sys.displays.display.get(), stream_setup::Movies::get().avi().c_str());
    ASSERT_EQ(stream.lastResult, 0);
    stream.seek(1250);
    ASSERT_EQ(nextPicture(stream), 0);
    sublumen::DisplaySurface* back = sys.displays.backSurface();
    platform::PixelView& screen = *back->surface->pixels();
    const uint32_t marker = platform::packPixel(screen.format, 10, 200, 30);
    const RECT dst { 40, 30, 600, 450 };

    struct Case {
        int32_t flags;
        bool mirrored;
    } cases[] = { { 0, false }, { sublumen::FlipVertical, true }, { sublumen::EnhanceImage, false },
        { sublumen::EnhanceImage | sublumen::FlipVertical, true } };
    platform::Surface plain;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        for (int y = 0; y < screen.height; ++y)
            for (int x = 0; x < screen.width; ++x)
                platform::writePixel(screen, x, y, marker);
        ASSERT_EQ(stream.blitFrame(back, 0, 0, 176, 144, dst.left, dst.top, dst.right - dst.left, dst.bottom - dst.top,
                      c.flags),
            0);
        platform::Surface copied = crop(screen, dst);
        EXPECT_EQ(frameIn(c.mirrored ? mirrored(copied) : copied), 12);
        if (c.flags == 0)
            plain = copied;
        if (c.flags == sublumen::FlipVertical) {
            // The DirectDraw mirror is exactly the plain copy upside down.
            EXPECT_EQ(mirrored(copied).pixels, plain.pixels);
        }
        // Nothing outside the destination is touched.
        for (POINT p : { POINT { 39, 200 }, POINT { 600, 200 }, POINT { 300, 29 }, POINT { 300, 450 }, POINT { 0, 0 } })
            EXPECT_EQ(platform::readPixel(screen, p.x, p.y), marker) << p.x << "," << p.y;
    }
    // A part of the picture: the right half of the source fills the destination.
    ASSERT_EQ(stream.blitFrame(back, 88, 0, 88, 144, 0, 0, 88, 144, 0), 0);
    const platform::PixelView& source = pictureOf(stream);
    EXPECT_EQ(platform::readPixel(screen, 0, 10), platform::readPixel(source, 88, 10));
    EXPECT_EQ(platform::readPixel(screen, 87, 100), platform::readPixel(source, 175, 100));
    stream.release();
}

// A path reaches the file system as its bytes: long ones, and names in another code page than the
// program's own (CP949 bytes from an old archive), open like any other.
TEST_F(StreamOnDisplay, PathsOpenAsTheirBytes)
{
    auto& movies = stream_setup::Movies::get();
    ASSERT_FALSE(movies.avi().empty());
    std::string base = dir.path().string() + "/";
    // The longest path the buffers hold, in folders of at most 200 bytes each.
    std::string longest = base + "영화 [1080p]";
    while (longest.size() < 1023 - 4)
        longest += (longest.size() - base.size()) % 201 == 200 ? '/' : 'k';
    longest += ".avi";
    ASSERT_EQ(longest.size(), 1023u);
    const std::string paths[] = {
        base + std::string(283 - base.size() - 4, 'l') + ".avi",
        base + "\xBF\xB5\xC8\xAD.avi",  // "movie" in Korean, CP949
        longest,
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path.size());
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        ASSERT_TRUE(std::filesystem::copy_file(movies.avi(), path)) << path;
        MediaStream stream(sys.displays.display.get(), path.c_str());
        EXPECT_EQ(stream.lastResult, 0);
        EXPECT_NE(stream.surface, nullptr);
        stream.release();
    }
}

// Files that cannot be played: each creation stops at its step, and every operation answers -1.
TEST_F(StreamOnDisplay, BadInputStopsCreationAtItsStep)
{
    auto& movies = stream_setup::Movies::get();
    std::string longPath = dir.path().string() + "/" + std::string(300 - dir.path().string().size() - 5, 'x') + ".avi";
    ASSERT_EQ(longPath.size(), 300u);
    std::string limitPath = dir.path().string() + "/" + std::string(259 - dir.path().string().size() - 5, 'y') + ".avi";
    ASSERT_EQ(limitPath.size(), 259u);
    struct Case {
        std::string path;
        sublumen::Display* display;
        int32_t step;
    } cases[] = {
        { dir.file("missing.avi"), sys.displays.display.get(), 6 },
        { movies.text, sys.displays.display.get(), 6 },
        // Long paths reach the file system, which finds no such files.
        { longPath, sys.displays.display.get(), 6 },
        { limitPath, sys.displays.display.get(), 6 },
        { "", sys.displays.display.get(), 5 },
        // Without a DirectDraw object the sample has no surface that frames could be blitted from.
        { movies.avi(), nullptr, 10 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        MediaStream stream(c.display, c.path.c_str());
        EXPECT_EQ(stream.lastResult, c.step);
        EXPECT_EQ(stream.stream, nullptr);
        EXPECT_EQ(stream.sample, nullptr);
        EXPECT_EQ(stream.surface, nullptr);
        EXPECT_EQ(stream.duration, 0u);
        EXPECT_EQ(stream.update(), -1);
        EXPECT_EQ(stream.getState(), -1);
        EXPECT_EQ(stream.setRun(1), -1);
        EXPECT_EQ(stream.currentTime(), static_cast<uint32_t>(-1));
        EXPECT_EQ(stream.seek(100), -1);
        EXPECT_EQ(stream.blitFrame(sys.displays.backSurface(), 0, 0, 10, 10, 0, 0, 10, 10, 0), -1);
        stream.release();
        stream.release();  // a second release finds nothing left
    }
}

}
