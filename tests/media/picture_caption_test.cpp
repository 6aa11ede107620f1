// Picture captions of every kind, found and played as the player does, land on the screen where they
// were authored over a letterboxed picture, in their colour; damaged files show what they can.
#include "app/main_loop.h"
#include "app/path_text.h"
#include "caption/caption.h"
#include "caption/picture_caption.h"
#include "display/display.h"
#include "display/display_modes.h"
#include "display/frame_composition.h"
#include "display/video_placement.h"
#include "media/caption_discovery.h"
#include "media/media_stream.h"
#include "media/movie_list.h"
#include "media/movie_session.h"
#include "media/movie_start.h"
#include "media/opened_files.h"
#include "platform/ddraw/ddraw.h"
#include "stream_setup.h"
#include "support/run_ffmpeg.h"
#include "support/sup_writer.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

using namespace sublumen;
using testing_support::SupWriter;

namespace {

// The movie: a 16:9 picture (480 × 270), so a 4:3 screen letterboxes it. Its caption: a yellow block
// at (120, 220) of 240 × 30 on a canvas of the picture's size, from 0.3 s to 2.5 s.
constexpr int movieWidth = 480;
constexpr int movieHeight = 270;
constexpr uint32_t yellow = 0xFFFF00;

fixtures::PictureCaptionRecipe captionRecipe(fixtures::PictureCaptionCodec codec)
{
    fixtures::PictureCaptionRecipe r;
    r.codec = codec;
    r.canvasWidth = movieWidth;
    r.canvasHeight = movieHeight;
    r.x = 120;
    r.y = 220;
    r.width = 240;
    r.height = 30;
    r.rgb = yellow;
    r.startMs = 300;
    r.endMs = 2500;
    return r;
}

// PGS white is Y 235; yellow is Y 210, Cr 146, Cb 16 in studio range.
const std::vector<testing_support::SupColour> supPalette = { { 1, 210, 146, 16, 255 } };

std::string supOfRecipe()
{
    SupWriter sup(movieWidth, movieHeight);
    sup.show(300, supPalette, { testing_support::supBlock(120, 220, 240, 30, 1) }).clear(2500);
    return sup.bytes();
}

using testing_support::runFfmpeg;

enum class Kind { SupFile, VobSubPair, PgsStream, DvdStream, DvbStream };
const char* const kindNames[] = { "SupFile", "VobSubPair", "PgsStream", "DvdStream", "DvbStream" };
void PrintTo(Kind kind, std::ostream* os) { *os << kindNames[static_cast<int>(kind)]; }

// One movie per kind, alone in its folder with its caption file, made once per run.
class PictureMovies {
public:
    static PictureMovies& get()
    {
        static PictureMovies movies;
        return movies;
    }
    // The movie to start; empty when this machine cannot make it (why in failure).
    std::string movie(Kind kind)
    {
        auto found = made_.find(kind);
        if (found != made_.end())
            return found->second;
        std::filesystem::path folder = dir_ / kindNames[static_cast<int>(kind)];
        std::filesystem::create_directories(folder);
        fixtures::MovieRecipe recipe;
        recipe.width = movieWidth;
        recipe.height = movieHeight;
        recipe.frameCount = 30;
        recipe.kind = fixtures::MovieKind::Mpeg4PcmAvi;
        std::string path;
        std::string error;
        switch (kind) {
        case Kind::SupFile:
            path = (folder / "movie.avi").string();
            error = fixtures::writeMovie(path, recipe);
            std::ofstream((folder / "movie.sup").string(), std::ios::binary) << supOfRecipe();
            break;
        case Kind::VobSubPair:
            path = (folder / "movie.avi").string();
            error = fixtures::writeMovie(path, recipe);
            if (error.empty())
                error = fixtures::writeVobSub(
                    (folder / "movie").string(), captionRecipe(fixtures::PictureCaptionCodec::Dvd));
            break;
        case Kind::PgsStream: {
            std::string plain = (dir_ / "plain.avi").string();
            std::string sup = (dir_ / "plain.sup").string();
            error = fixtures::writeMovie(plain, recipe);
            std::ofstream(sup, std::ios::binary) << supOfRecipe();
            path = (folder / "movie.mkv").string();
            if (error.empty() && !runFfmpeg({ "-i", plain, "-i", sup, "-map", "0", "-map", "1", "-c", "copy", path }))
                error = "ffmpeg could not mux the PGS stream";
            break;
        }
        case Kind::DvdStream:
            recipe.kind = fixtures::MovieKind::Mpeg4PcmMkv;
            recipe.captions = captionRecipe(fixtures::PictureCaptionCodec::Dvd);
            path = (folder / "movie.mkv").string();
            error = fixtures::writeMovie(path, recipe);
            break;
        case Kind::DvbStream:
            recipe.kind = fixtures::MovieKind::Mpeg4Mp2Ts;
            recipe.captions = captionRecipe(fixtures::PictureCaptionCodec::Dvb);
            path = (folder / "movie.ts").string();
            error = fixtures::writeMovie(path, recipe);
            break;
        }
        if (!error.empty()) {
            failure = error;
            path.clear();
        }
        made_[kind] = path;
        return path;
    }
    std::string failure;

private:
    PictureMovies()
    {
        dir_ = std::filesystem::temp_directory_path() / ("sublumen-pictures-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    ~PictureMovies() { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
    std::map<Kind, std::string> made_;
};

// Where the caption must land: a screen, a fit mode and the caption's box on it, worked out by hand from
// the placement of a 480 × 270 picture.
struct Screen {
    const char* name;
    int fullscreen;
    int width;
    int height;
    int fitmode;
    ScreenBox box;
};
void PrintTo(const Screen& screen, std::ostream* os) { *os << screen.name; }
const Screen screens[] = {
    // 640 × 360 at y 60: the canvas is scaled by 4/3.
    { "LetterBoxWindow", 0, 640, 480, FitMode::LetterBox, { 160, 353, 320, 40 } },
    // 639 × 480 showing picture columns 60..418: scaled by 639/359 across, 480/270 down, moved 106.8 left.
    { "PanScanWindow", 0, 640, 480, FitMode::PanScan, { 107, 391, 427, 53 } },
    // The desktop's own size, 1024 × 576 at y 96: scaled by 32/15.
    { "FullScreen", 1, 1024, 768, FitMode::LetterBox, { 256, 565, 512, 64 } },
};

class PictureCaptionOnScreen : public ::testing::TestWithParam<std::tuple<Kind, Screen>> {
protected:
    void TearDown() override
    {
        closeMovie(sys);
        sys.movie.movieList.reset();
        sys.displays.display.reset();
        platform::setDisplayDriver(nullptr);
    }

    testing_support::ScratchDir dir;
    testing_support::LogCapture log { dir };
    testing_support::RecordingWindow window { 640, 480 };
    System sys;
};

bool isYellow(int r, int g, int b) { return r > 200 && g > 200 && b < 90; }

}

TEST_P(PictureCaptionOnScreen, LandsWhereItWasAuthoredInItsColour)
{
    const auto& [kind, screen] = GetParam();
    std::string movie = PictureMovies::get().movie(kind);
    if (movie.empty())
        GTEST_SKIP() << PictureMovies::get().failure;
    platform::setDisplayDriver(std::make_unique<platform::ScriptedDisplayDriver>());
    sys.window.mainWindow = window.handle();
    sys.settings.fullscreen = screen.fullscreen;
    sys.settings.screenx = screen.width;
    sys.settings.screeny = screen.height;
    sys.settings.bpp = 32;
    sys.settings.fitmode = screen.fitmode;
    sys.settings.asksmi = 0;
    ASSERT_EQ(ddEnum(sys), 0);
    boundedCopy(sys.startup.startPath, movie.c_str(), sizeof sys.startup.startPath);
    ASSERT_EQ(buildMovieList(sys), 0);
    ASSERT_EQ(startMovie(sys, 0), 0);
    ASSERT_TRUE(sys.movie.currentCaption && sys.movie.currentCaption->pictures) << sys.movie.currentItem.caption;

    // Played as the player does until the caption is up.
    for (int i = 0; i < 2000 && sys.movie.currentStream->currentTime() < 600 && !sys.movie.currentStream->ended; ++i)
        renderFrame(sys);
    renderFrame(sys);
    const platform::Surface& shown = *sys.displays.backSurface()->surface->pixels();
    int left = shown.width, top = shown.height, right = -1, bottom = -1;
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x) {
            int r, g, b;
            platform::readRgb(shown, x, y, r, g, b);
            if (isYellow(r, g, b)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    const ScreenBox& box = screen.box;
    ASSERT_GE(right, 0) << "no caption on the screen";
    // The edges may be blended with the picture by the scaling: one pixel either way.
    EXPECT_NEAR(left, box.x, 1);
    EXPECT_NEAR(top, box.y, 1);
    EXPECT_NEAR(right + 1, box.x + box.width, 1);
    EXPECT_NEAR(bottom + 1, box.y + box.height, 1);
    int r, g, b;
    platform::readRgb(shown, box.x + box.width / 2, box.y + box.height / 2, r, g, b);
    EXPECT_GE(r, 235);
    EXPECT_GE(g, 235);
    EXPECT_LE(b, 30);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, PictureCaptionOnScreen,
    ::testing::Combine(
        ::testing::Values(Kind::SupFile, Kind::VobSubPair, Kind::PgsStream, Kind::DvdStream, Kind::DvbStream),
        ::testing::ValuesIn(screens)),
    [](const auto& info) {
        return std::string(kindNames[static_cast<int>(std::get<0>(info.param))]) + std::get<1>(info.param).name;
    });

namespace {

class PictureCaptionStreams : public stream_setup::DisplayTest {
protected:
    void TearDown() override
    {
        closeMovie(sys);
        sys.movie.movieList.reset();
        DisplayTest::TearDown();
    }
};

}

TEST_F(PictureCaptionStreams, AKoreanTextStreamWinsThenAKoreanPictureStreamThenTheDefault)
{
    fixtures::MovieRecipe recipe;
    recipe.kind = fixtures::MovieKind::Mpeg4PcmMkv;
    recipe.captions = captionRecipe(fixtures::PictureCaptionCodec::Dvd);
    recipe.captions.language = "kor";
    std::string dvd = dir.file("dvd.mkv");
    ASSERT_EQ(fixtures::writeMovie(dvd, recipe), "");
    std::string english = dir.write("en.srt", "1\n00:00:00,200 --> 00:00:02,000\nHello\n\n");
    std::string korean = dir.write("ko.srt", "1\n00:00:00,200 --> 00:00:02,000\n안녕\n\n");
    struct Row {
        const char* name;
        std::vector<std::string> texts; // text streams before the picture stream, the first flagged default
        const char* expected;
        bool picture;
    } rows[] = {
        { "picture.mkv", { english }, "[stream 3, kor]", true },
        { "text.mkv", { english, korean }, "[stream 3, kor]", false },
    };
    for (const Row& row : rows) {
        std::string movie = dir.file(row.name);
        std::vector<std::string> args;
        for (const std::string& text : row.texts)
            args.insert(args.end(), { "-i", text });
        args.insert(args.end(),
            { "-i", dvd, "-map", std::to_string(row.texts.size()) + ":v", "-map",
                std::to_string(row.texts.size()) + ":a" });
        for (size_t i = 0; i < row.texts.size(); ++i)
            args.insert(args.end(), { "-map", std::to_string(i) });
        args.insert(args.end(),
            { "-map", std::to_string(row.texts.size()) + ":s", "-c", "copy", "-c:s:0", "srt", "-metadata:s:s:0",
                "language=eng", "-disposition:s:0", "default" });
        if (row.texts.size() > 1)
            args.insert(args.end(), { "-c:s:1", "srt", "-metadata:s:s:1", "language=kor", "-disposition:s:1", "0" });
        args.insert(args.end(), { "-disposition:s:" + std::to_string(row.texts.size()), "0", movie });
        ASSERT_TRUE(runFfmpeg(args)) << row.name;

        boundedCopy(sys.startup.startPath, movie.c_str(), sizeof sys.startup.startPath);
        sys.settings.asksmi = 0;
        ASSERT_EQ(buildMovieList(sys), 0);
        ASSERT_EQ(startMovie(sys, 0), 0);
        EXPECT_STREQ(sys.movie.currentItem.caption, row.expected) << row.name;
        ASSERT_NE(sys.movie.currentCaption, nullptr) << row.name;
        EXPECT_EQ(sys.movie.currentCaption->pictures != nullptr, row.picture) << row.name;
        closeMovie(sys);
    }
}

// Started from a picture caption file (an argument, a dropped file), the movie beside it plays with it.
TEST_F(PictureCaptionStreams, StartedFromAPictureCaptionFileTheMovieBesideItPlaysWithIt)
{
    for (Kind kind : { Kind::SupFile, Kind::VobSubPair }) {
        const std::string movie = PictureMovies::get().movie(kind);
        if (movie.empty())
            GTEST_SKIP() << PictureMovies::get().failure;
        const std::string caption = std::filesystem::path(movie).replace_extension(kind == Kind::SupFile ? ".sup" : ".idx").string();
        sys.settings.asksmi = 0;
        ASSERT_EQ(openAsStartPath(sys, caption.c_str()), 0) << caption;
        EXPECT_STREQ(sys.movie.currentItem.movie, movie.c_str());
        EXPECT_STREQ(sys.movie.currentItem.caption, caption.c_str());
        EXPECT_TRUE(sys.movie.currentCaption && sys.movie.currentCaption->pictures) << caption;
        closeMovie(sys);
        sys.movie.movieList.reset();
    }
}
