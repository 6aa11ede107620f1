// Recordings of TV broadcasts: interlaced pictures played at the field rate.
#include "movie_fixture.h"
#include "platform/mmstream/caption_streams.h"
#include "platform/mmstream/media_backend.h"
#include "support/movie_set.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <map>

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
    testing_support::movieKindName);

}

// A recording with every kind of TV caption: the teletext pages (each a stream), the CEA-708 services and
// the CEA-608 channel are offered as caption streams, the Korean service is read from the start, and each
// stream's captions come with their times.
TEST(TvRecording, OffersEveryKindOfTvCaptionWithItsTimes)
{
    using fixtures::TvCaption;
    fixtures::MovieRecipe recipe;
    recipe.kind = MovieKind::Mpeg2Mp2Ts;
    if (!fixtures::canEncode(recipe.kind) || !fixtures::canDecodeTeletext())
        GTEST_SKIP() << "this FFmpeg cannot make or read the recording";
    recipe.framesPerSecond = 25;
    recipe.frameCount = 50;
    recipe.withAudio = false;
    recipe.tvCaptions = {
        {TvCaption::Kind::Cea708, 1, 500, 1500, "한국어 자막"},
        {TvCaption::Kind::Cea708, 2, 500, 1500, "English"},
        {TvCaption::Kind::Cea608, 1, 500, 1500, "CC ONE"},
    };
    recipe.teletext = {{888, 500, 1500, "Teletext"}, {777, 500, 1500, "Untertitel"}};
    recipe.teletextLanguages = {"eng", "ger"};
    ScratchDir dir;
    const std::string path = dir.file("news.ts");
    ASSERT_EQ(fixtures::writeMovie(path, recipe), "");

    platform::OpenOptions options;
    options.playAudio = false;
    platform::OpenError error = platform::OpenError::None;
    std::unique_ptr<platform::MediaBackend> movie = platform::openFfmpegBackend(path, options, error);
    ASSERT_TRUE(movie);
    const int page888 = platform::teletextStreamBase + 1 * 1000 + 888;
    const int page777 = platform::teletextStreamBase + 1 * 1000 + 777;
    std::vector<std::pair<int, std::string>> offered;
    for (const platform::CaptionStreamInfo& info : movie->captionStreams())
        offered.emplace_back(info.index, info.language);
    const std::vector<std::pair<int, std::string>> expected = {
        {page888, "eng"}, {page777, "ger"}, {70801, "kor"}, {70802, ""}, {60801, ""}};
    EXPECT_EQ(offered, expected);
    EXPECT_EQ(movie->captionStream().index, 70801);

    ASSERT_EQ(movie->selectCaptionStreams({70801, 70802, 60801, page888, page777}), platform::ChoiceError::None);
    platform::Surface surface(movie->properties().width, movie->properties().height, platform::PixelFormat::XRGB8888);
    movie->run();
    for (int i = 0; i < 500; ++i)
        if (movie->deliverFrame(surface, std::chrono::milliseconds(2000)).outcome == platform::FrameOutcome::EndOfStream)
            break;
    std::vector<platform::CaptionText> texts;
    movie->takeCaptionTexts(texts);
    // The last telling of each caption is what the track keeps.
    std::map<int, platform::CaptionText> last;
    for (platform::CaptionText& text : texts)
        last[text.stream] = text;
    const std::map<int, std::string> said = {
        {70801, "한국어 자막"}, {70802, "English"}, {60801, "CC ONE"}, {page888, "Teletext"}, {page777, "Untertitel"}};
    using std::chrono::milliseconds;
    for (const auto& [stream, text] : said) {
        ASSERT_TRUE(last.count(stream)) << stream;
        EXPECT_EQ(last[stream].text.find(text) != std::string::npos, true) << stream << ": " << last[stream].text;
        EXPECT_NEAR(std::chrono::duration_cast<milliseconds>(last[stream].start).count(), 500, 60) << stream;
        EXPECT_NEAR(std::chrono::duration_cast<milliseconds>(last[stream].end).count(), 1500, 60) << stream;
    }
}
