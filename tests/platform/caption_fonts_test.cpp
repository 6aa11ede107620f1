// The fonts a movie carries for its SSA/ASS caption streams, as the streaming engine hands them out.
#include "movie_fixture.h"
#include "platform/mmstream/media_backend.h"
#include "support/run_ffmpeg.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <string>

using testing_support::runFfmpeg;

namespace {

constexpr const char* assScript = "[Script Info]\nScriptType: v4.00+\nPlayResX: 176\nPlayResY: 144\n\n"
                                  "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, "
                                  "OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, "
                                  "Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, "
                                  "MarginV, Encoding\nStyle: Default,Sign,20,&H00FFFFFF,&H000000FF,&H00000000,"
                                  "&H00000000,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,1\n\n[Events]\nFormat: Layer, "
                                  "Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
                                  "Dialogue: 0,0:00:00.00,0:00:02.00,Default,,0,0,0,,간판\n";

// A Matroska movie with two SSA/ASS streams, a SubRip one and a font attachment: the engine reads the
// font once, and the chosen stream and both SSA/ASS streams of the list share that one copy of its bytes;
// the SubRip stream has no style.
TEST(CaptionFonts, AreReadOnceAndSharedByEverySsaStreamOfTheMovie)
{
    testing_support::ScratchDir dir;
    fixtures::MovieRecipe recipe;
    recipe.kind = fixtures::MovieKind::Mpeg4PcmAvi;
    recipe.withAudio = false;
    const std::string source = dir.file("source.avi");
    if (!fixtures::canEncode(recipe.kind) || !fixtures::writeMovie(source, recipe).empty())
        GTEST_SKIP() << "no AVI movie could be encoded";
    std::string font(300000, '\0');
    for (size_t i = 0; i < font.size(); ++i)
        font[i] = static_cast<char>(i * 131 % 251);
    const std::string fontFile = dir.write("sign.ttf", font);
    const std::string ass = dir.write("c.ass", assScript);
    const std::string srt = dir.write("c.srt", "1\n00:00:00,000 --> 00:00:02,000\n간판\n");
    const std::string movie = dir.file("movie.mkv");
    ASSERT_TRUE(runFfmpeg({ "-i", source, "-i", ass, "-i", srt, "-i", ass, "-map", "0", "-map", "1", "-map", "2",
        "-map", "3", "-c:v", "copy", "-c:s:0", "ass", "-c:s:1", "srt", "-c:s:2", "ass", "-metadata:s:s:0",
        "language=kor", "-attach", fontFile, "-metadata:s:t", "mimetype=application/x-truetype-font", movie }));

    platform::OpenOptions options;
    options.playAudio = false;
    platform::OpenError error = platform::OpenError::None;
    std::unique_ptr<platform::MediaBackend> backend = platform::openFfmpegBackend(movie, options, error);
    ASSERT_TRUE(backend) << static_cast<int>(error);
    const platform::CaptionStreamInfo chosen = backend->captionStream();
    ASSERT_TRUE(chosen.style && chosen.style->fonts);
    const platform::CaptionFonts& fonts = *chosen.style->fonts;
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(fonts[0].name, "sign.ttf");
    EXPECT_TRUE(fonts[0].data == font) << "the attachment's bytes, " << fonts[0].data.size() << " of them";
    EXPECT_NE(chosen.style->header.find("Style: Default,Sign"), std::string::npos);

    const std::vector<platform::CaptionStreamInfo> streams = backend->captionStreams();
    ASSERT_EQ(streams.size(), 3u);
    EXPECT_EQ(streams[0].style->fonts, chosen.style->fonts);
    EXPECT_FALSE(streams[1].style) << "SubRip is drawn in our style";
    EXPECT_EQ(streams[2].style->fonts, chosen.style->fonts);
}

}
