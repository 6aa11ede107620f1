// Recordings of TV broadcasts: interlaced pictures played at the field rate.
#include "movie_fixture.h"
#include "platform/mmstream/media_backend.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

using fixtures::MovieKind;
using testing_support::ScratchDir;

namespace {

// The rows of one field of a picture (0: the top field, the even rows).
platform::ConstPixelView fieldOf(const platform::Surface& picture, int field)
{
    platform::ConstPixelView view = picture.view();
    view.bytes += static_cast<std::ptrdiff_t>(field) * view.pitch;
    view.pitch *= 2;
    view.height /= 2;
    return view;
}

// Every picture the engine hands out, as fast as it decodes them: the number its rows of the field
// given by the picture's place (field 0, 1, 0, ... or all 0) show, and its start.
std::vector<std::pair<int, platform::MediaTime>> allPictures(const std::string& path, bool alternateFields)
{
    platform::OpenOptions options;
    options.untimed = true;
    platform::OpenError error = platform::OpenError::None;
    std::unique_ptr<platform::MediaBackend> movie = platform::openFfmpegBackend(path, options, error);
    EXPECT_TRUE(movie) << static_cast<int>(error);
    std::vector<std::pair<int, platform::MediaTime>> pictures;
    if (!movie)
        return pictures;
    platform::Surface surface(movie->properties().width, movie->properties().height, platform::PixelFormat::XRGB8888);
    movie->run();
    for (int i = 0; i < 1000; ++i) {
        platform::FrameDelivery d = movie->deliverFrame(surface, std::chrono::milliseconds(2000));
        if (d.outcome == platform::FrameOutcome::EndOfStream)
            break;
        if (d.outcome == platform::FrameOutcome::Delivered)
            pictures.emplace_back(
                fixtures::frameNumberIn(fieldOf(surface, alternateFields ? pictures.size() % 2 : 0)), d.start);
    }
    return pictures;
}

class InterlacedRecording : public testing::TestWithParam<MovieKind> { };

// Each field of an interlaced picture becomes a picture of its own, in field order, at twice the frame
// rate, and keeps its own rows; the same movie coded progressive plays its pictures as they are.
TEST_P(InterlacedRecording, PlaysOnePicturePerFieldInOrder)
{
    fixtures::MovieRecipe recipe;
    recipe.kind = GetParam();
    if (!fixtures::canEncode(recipe.kind))
        GTEST_SKIP() << "this FFmpeg cannot encode the movie";
    recipe.width = 192;
    recipe.height = 144;
    recipe.framesPerSecond = 25;
    recipe.frameCount = 20;
    recipe.withAudio = false;
    recipe.interlaced = true;
    ScratchDir dir;
    const std::string interlaced = dir.file("interlaced.ts");
    ASSERT_EQ(fixtures::writeMovie(interlaced, recipe), "");
    recipe.interlaced = false;
    const std::string progressive = dir.file("progressive.ts");
    ASSERT_EQ(fixtures::writeMovie(progressive, recipe), "");

    const auto fields = allPictures(interlaced, true);
    ASSERT_EQ(fields.size(), 40u);
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(fields[i].first, static_cast<int>(i)) << "picture " << i;
        EXPECT_EQ(fields[i].second - fields[0].second, platform::MediaTime(200'000 * static_cast<int64_t>(i)))
            << "picture " << i;
    }
    const auto frames = allPictures(progressive, false);
    ASSERT_EQ(frames.size(), 20u);
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(frames[i].first, static_cast<int>(i));
}

INSTANTIATE_TEST_SUITE_P(Kinds, InterlacedRecording, testing::Values(MovieKind::Mpeg2Mp2Ts, MovieKind::H264Mp2Ts),
    [](const testing::TestParamInfo<MovieKind>& info) {
        return info.param == MovieKind::Mpeg2Mp2Ts ? std::string("Mpeg2") : std::string("H264");
    });

}
