#include "app/system.h"
#include "display/video_placement.h"
#include "media/media_stream.h"
#include "media/movie_session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace sublumen;

namespace {

struct Rects {
    int32_t srcX, srcY, srcWidth, srcHeight, dstX, dstY, dstWidth, dstHeight;
};

Rects rectsOf(const VideoPlacement& p)
{
    return {p.srcX, p.srcY, p.srcWidth, p.srcHeight, p.dstX, p.dstY, p.dstWidth, p.dstHeight};
}

bool operator==(const Rects& a, const Rects& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::ostream& operator<<(std::ostream& out, const Rects& r)
{
    return out << r.srcX << ", " << r.srcY << " (" << r.srcWidth << ", " << r.srcHeight << ") -> " << r.dstX << ", "
               << r.dstY << " (" << r.dstWidth << ", " << r.dstHeight << ")";
}

// A system on a screen of the given size showing a movie whose picture is w × h.
class Placement {
public:
    Placement(int32_t screenWidth, int32_t screenHeight)
    {
        sys.settings.screenx = screenWidth;
        sys.settings.screeny = screenHeight;
    }
    Rects place(RECT picture, int32_t fitmode)
    {
        stream->videoRect = picture;
        sys.settings.fitmode = fitmode;
        computeVideoPlacement(sys);
        return rectsOf(sys.videoPlacement);
    }
    Rects place(int32_t w, int32_t h, int32_t fitmode) { return place(RECT {0, 0, w, h}, fitmode); }

    System sys;
    MediaStream* stream = openMovieStream(sys, "");
};

struct WorkedExample {
    int32_t movieWidth;
    int32_t movieHeight;
    int32_t fitmode;
    Rects expected;
};

class WorkedExamples : public ::testing::TestWithParam<WorkedExample> { };

}

TEST_P(WorkedExamples, OnA640By480Screen)
{
    const WorkedExample& e = GetParam();
    Placement placement(640, 480);
    EXPECT_EQ(placement.place(e.movieWidth, e.movieHeight, e.fitmode), e.expected);
}

INSTANTIATE_TEST_SUITE_P(VideoPlacement, WorkedExamples,
    ::testing::Values(WorkedExample {720, 480, FitMode::LetterBox, {0, 0, 720, 479, 0, 27, 640, 426}},
        WorkedExample {720, 480, FitMode::LetterBox2, {21, 0, 677, 479, 0, 13, 640, 453}},
        WorkedExample {720, 480, FitMode::PanScan, {40, 0, 640, 480, 0, 0, 640, 480}},
        WorkedExample {720, 480, FitMode::Full, {0, 0, 720, 480, 0, 0, 640, 480}},
        WorkedExample {640, 272, FitMode::LetterBox, {0, 0, 640, 272, 0, 104, 640, 272}},
        WorkedExample {640, 272, FitMode::LetterBox2, {88, 0, 463, 271, 0, 52, 640, 375}},
        WorkedExample {640, 272, FitMode::PanScan, {139, 0, 362, 272, 0, 0, 639, 480}},
        WorkedExample {640, 272, FitMode::Full, {0, 0, 640, 272, 0, 0, 640, 480}},
        WorkedExample {720, 576, FitMode::LetterBox, {0, 18, 720, 540, 0, 0, 640, 480}},
        WorkedExample {720, 576, FitMode::LetterBox2, {0, 9, 719, 557, 10, 0, 620, 480}},
        WorkedExample {720, 576, FitMode::PanScan, {0, 0, 720, 576, 20, 0, 600, 480}}));

// Sizes where the height scaled by the horizontal scale overshoots the picture: the source stays inside it.
struct OtherScreen {
    int32_t screenWidth;
    int32_t screenHeight;
    int32_t movieWidth;
    int32_t movieHeight;
    int32_t fitmode;
    Rects expected;
};

void PrintTo(const OtherScreen& e, std::ostream* os)
{
    *os << e.movieWidth << "x" << e.movieHeight << " on " << e.screenWidth << "x" << e.screenHeight << " in mode "
        << e.fitmode;
}

class OtherScreens : public ::testing::TestWithParam<OtherScreen> { };

TEST_P(OtherScreens, KeepTheSourceInsideThePicture)
{
    const OtherScreen& e = GetParam();
    Placement placement(e.screenWidth, e.screenHeight);
    const Rects r = placement.place(e.movieWidth, e.movieHeight, e.fitmode);
    EXPECT_EQ(r, e.expected);
    EXPECT_GE(r.srcX, 0);
    EXPECT_GE(r.srcY, 0);
    EXPECT_LE(r.srcX + r.srcWidth, e.movieWidth);
    EXPECT_LE(r.srcY + r.srcHeight, e.movieHeight);
}

INSTANTIATE_TEST_SUITE_P(VideoPlacement, OtherScreens,
    ::testing::Values(OtherScreen {320, 240, 1280, 720, FitMode::PanScan, {159, 0, 961, 720, 0, 0, 320, 240}},
        OtherScreen {640, 480, 480, 854, FitMode::PanScan, {0, 0, 480, 854, 185, 0, 269, 480}},
        OtherScreen {800, 600, 720, 1280, FitMode::PanScan, {0, 0, 720, 1280, 231, 0, 337, 600}}));

TEST(VideoPlacement, ModeNamesInOrder)
{
    EXPECT_STREQ(fitModeNames[FitMode::LetterBox], "LetterBox");
    EXPECT_STREQ(fitModeNames[FitMode::LetterBox2], "LetterBox2");
    EXPECT_STREQ(fitModeNames[FitMode::PanScan], "PanScan");
    EXPECT_STREQ(fitModeNames[FitMode::Full], "Full");
}

TEST(VideoPlacement, WithoutAStreamOnlyTheDestinationIsReset)
{
    System sys;
    sys.settings.screenx = 800;
    sys.settings.screeny = 600;
    sys.videoPlacement = {1, 2, 3, 4, 5, 6, 7, 8};
    computeVideoPlacement(sys);
    EXPECT_EQ(rectsOf(sys.videoPlacement), (Rects {1, 2, 3, 4, 0, 0, 800, 600}));
}

TEST(VideoPlacement, OnlyThePictureSizeCounts)
{
    Placement placement(640, 480);
    EXPECT_EQ(placement.place(RECT {10, 20, 730, 500}, FitMode::LetterBox), (Rects {0, 0, 720, 479, 0, 27, 640, 426}));
}

TEST(VideoPlacement, APictureOfTheScreensShapeFillsItInEveryMode)
{
    Placement placement(800, 600);
    for (int32_t mode : {FitMode::LetterBox, FitMode::LetterBox2, FitMode::PanScan, FitMode::Full}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(placement.place(640, 480, mode), (Rects {0, 0, 640, 480, 0, 0, 800, 600}));
    }
}

TEST(VideoPlacement, ANarrowPictureInLetterBoxLosesRowsTopAndBottomAlike)
{
    Placement placement(640, 480);
    EXPECT_EQ(placement.place(480, 480, FitMode::LetterBox), (Rects {0, 60, 480, 360, 0, 0, 640, 480}));
}

TEST(VideoPlacement, AnUnknownModeIsLetterBox)
{
    Placement placement(640, 480);
    Rects letterBox = placement.place(720, 480, FitMode::LetterBox);
    EXPECT_EQ(placement.place(720, 480, 7), letterBox);
    EXPECT_EQ(placement.place(720, 480, -1), letterBox);
}

TEST(VideoPlacement, AnEmptyPictureIsPlacedFull)
{
    Placement placement(640, 480);
    for (int32_t mode : {FitMode::LetterBox, FitMode::LetterBox2, FitMode::PanScan, FitMode::Full}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(placement.place(0, 480, mode), (Rects {0, 0, 0, 480, 0, 0, 640, 480}));
        EXPECT_EQ(placement.place(720, 0, mode), (Rects {0, 0, 720, 0, 0, 0, 640, 480}));
        EXPECT_EQ(placement.place(RECT {5, 5, 0, 0}, mode), (Rects {0, 0, 0, 0, 0, 0, 640, 480}));
    }
}

TEST(VideoPlacement, AScreenTooSmallForThePictureIsFilled)
{
    Placement placement(1, 1);
    EXPECT_EQ(placement.place(720, 480, FitMode::LetterBox), (Rects {0, 0, 720, 480, 0, 0, 1, 1}));
}
