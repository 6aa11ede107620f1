#include "display/frame_composition.h"

#include "app/main_loop.h"
#include "caption/caption.h"
#include "caption/caption_sync.h"
#include "caption/picture_caption.h"
#include "display/notice.h"
#include "display/video_placement.h"
#include "media/media_stream.h"
#include "media/movie_session.h"
#include "platform/kernel.h"
#include "platform/window/window_screens.h"
#include "support/scripted_media_backend.h"

#include "composition_fixture.h"
#include "movie_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <memory>

using namespace sublumen;
using namespace testing_support;
using platform::FrameDelivery;
using platform::FrameOutcome;
using platform::MediaTime;
using std::chrono::milliseconds;

namespace {

constexpr int W = 640;
constexpr int H = 480;

class FrameComposition : public MovieComposition {
protected:
    // A movie of width x height on the scripted engine, placed by fitmode and running.
    void openMovie(int width, int height, milliseconds duration = milliseconds(7'200'000), int fitmode = FitMode::LetterBox)
    {
        script->properties.width = width;
        script->properties.height = height;
        script->properties.duration = duration;
        scope = std::make_unique<ScriptedBackendScope>(script);
        openMovieStream(sys, "/films/movie.avi");
        ASSERT_EQ(sys.movie.currentStream->lastResult, 0);
        sys.movie.movieDuration = sys.movie.currentStream->duration;
        sys.settings.fitmode = fitmode;
        computeVideoPlacement(sys);
        script->running = true;
    }

    platform::PixelView& picture() { return *sys.movie.currentStream->surface->pixels(); }

    // One update answering 2: the decoder stays behind through the quarter-second wait as well.
    void scriptBusyFrames(int count)
    {
        for (int i = 0; i < 2 * count; ++i)
            script->deliveries.push_back(FrameDelivery { FrameOutcome::DecoderBehind });
    }

    void setTime(milliseconds t) { script->time = std::chrono::duration_cast<MediaTime>(t); }
};

// Caption time: the stream time plus the movie's shift, never below 0.
struct ShiftCase {
    uint32_t streamTime;
    int32_t timeshift;
    uint32_t expected;
};

class CaptionTime : public ::testing::TestWithParam<ShiftCase> { };

TEST_P(CaptionTime, AddsTheShiftWithoutGoingBelowZero)
{
    EXPECT_EQ(captionTime(GetParam().streamTime, GetParam().timeshift, 1.0), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Shifts, CaptionTime,
    ::testing::Values(ShiftCase { 3000, -5000, 0 }, ShiftCase { 8000, -5000, 3000 }, ShiftCase { 5000, -5000, 0 },
        ShiftCase { 0, 0, 0 }, ShiftCase { 1000, 2500, 3500 }, ShiftCase { 0, INT32_MIN, 0 },
        ShiftCase { UINT32_MAX - 1, 10, UINT32_MAX }));

TEST_F(FrameComposition, WithoutAMovieTheEndScreenIsBlackWithTheTextCentredInWhite)
{
    paint(128, 128, 128);
    sys.settings.isending = 1;
    renderFrame(sys);
    ASSERT_FALSE(boxWhere(screen(), isWhite).empty());
    // Everything around the text's ink is black; its smoothed edges are grey.
    PixelBox text = boxWhere(screen(), [](int r, int g, int b) { return !isBlack(r, g, b) && r == g && g == b; });
    EXPECT_EQ(boxWhere(screen(), [](int r, int g, int b) { return !isBlack(r, g, b); }), text);
    EXPECT_LE(std::abs((text.left + text.right) - W), 2) << describe(text);
    EXPECT_LE(std::abs((text.top + text.bottom) - H), 4) << describe(text);
    EXPECT_GT(text.width(), 40);
    EXPECT_EQ(driver->presentCount, 1);
    EXPECT_EQ(sys.playback.framesThisSecond, 1u);
}

TEST_F(FrameComposition, WithoutAMovieAndWithoutEndingTheOldPictureStays)
{
    paint(10, 200, 30);
    platform::Surface before = screen();
    sys.settings.isending = 0;
    renderFrame(sys);
    renderFrame(sys);
    EXPECT_EQ(firstDifferentRow(screen(), before), -1);
    EXPECT_EQ(driver->presentCount, 2);
    EXPECT_EQ(sys.playback.framesThisSecond, 2u);
}

TEST_F(FrameComposition, ALostFullScreenSurfaceAsksForARebuild)
{
    TearDown();
    sys = System {};
    bringUp(1);
    renderFrame(sys);
    EXPECT_EQ(sys.playback.reinitRequest, 0);
    driver->resetCount++;
    renderFrame(sys);
    EXPECT_EQ(sys.playback.reinitRequest, 1);
}

// A 640x480 full-screen mode on a 1920x1080 desktop is shown 2.25 times enlarged: only the picture is
// scaled; the caption is drawn afterwards on the shown pixels, exactly as the desktop's own mode draws it
// with the font and the band 2.25 times as large, and the status bar is drawn there at that scale too.
TEST_F(FrameComposition, AnEnlargedModeDrawsItsTextsAtTheScreensPixels)
{
    TearDown();
    sys = System {};
    bringUp(1);
    driver->desktopMode = { 1920, 1080, platform::PixelFormat::XRGB8888 };
    openMovie(640, 480);
    script->running = false;
    setTime(milliseconds(0));
    fillSurface(picture(), 30, 60, 90);
    sys.settings.seekbar = 0;
    sys.settings.captionstyle = 0;
    openMovieCaption(sys, nullptr);
    sys.movie.currentCaption->addEntry(0, "가나다 자막 Caption");
    sys.movie.currentCaption->addEntry(endMarker, "");
    auto text = [](int r, int g, int b) { return !(r == 30 && g == 60 && b == 90) && !isBlack(r, g, b); };

    renderFrame(sys);
    ASSERT_EQ(driver->lastFrame.width, 1440);
    ASSERT_EQ(driver->lastFrame.height, 1080);
    const platform::Surface enlarged = driver->lastFrame;
    EXPECT_TRUE(boxWhere(screen(), text).empty()) << "the composed screen holds the picture alone";

    sys.settings.seekbar = 1;
    sys.settings.help = 1;
    renderFrame(sys);
    auto green = [](int r, int g, int b) { return r == 0 && g == 255 && b == 0; };
    const platform::Surface enlargedTexts = driver->lastFrame;
    const PixelBox status = boxWhere(enlargedTexts, green);
    EXPECT_GE(status.top, 1080 - 36) << describe(status);
    EXPECT_GT(status.height(), 16) << "the status font is enlarged with the screen: " << describe(status);
    sys.settings.help = 0;

    // The desktop's own mode with the caption font and band scaled.
    sys.settings.seekbar = 0;
    sys.displays.display.reset();
    sys.settings.screenx = 1920;
    sys.settings.screeny = 1080;
    sys.settings.fontposy = 225;
    ASSERT_EQ(ddEnum(sys), 0);
    computeVideoPlacement(sys);
    DeleteObject(sys.startup.captionFont);
    sys.startup.captionFont = font(54, FW_EXTRABOLD, "굴림체");
    renderFrame(sys);
    ASSERT_EQ(driver->lastFrame.width, 1920);
    const platform::Surface& desktop = driver->lastFrame;

    const PixelBox a = boxWhere(enlarged, text);
    const PixelBox b = boxWhere(desktop, text);
    ASSERT_FALSE(a.empty());
    ASSERT_EQ(a.width(), b.width()) << describe(a) << " " << describe(b);
    ASSERT_EQ(a.height(), b.height()) << describe(a) << " " << describe(b);
    EXPECT_GT(a.bottom, 1080 - 225);
    int different = 0;
    for (int y = 0; y < a.height(); ++y)
        different += !std::equal(enlarged.view().row(a.top + y) + 4 * a.left,
            enlarged.view().row(a.top + y) + 4 * a.right, desktop.view().row(b.top + y) + 4 * b.left);
    EXPECT_EQ(different, 0) << "rows of the caption that differ from the desktop mode's";

    // The desktop's own mode draws the status bar and the overlay at the same factor, with the same look.
    sys.settings.seekbar = 1;
    sys.settings.help = 1;
    renderFrame(sys);
    const platform::Surface& desktopTexts = driver->lastFrame;
    const PixelBox desktopStatus = boxWhere(desktopTexts, green);
    EXPECT_EQ(desktopStatus.height(), status.height()) << describe(desktopStatus) << " " << describe(status);
    EXPECT_EQ(desktopStatus.width(), status.width()) << describe(desktopStatus) << " " << describe(status);
    EXPECT_EQ(desktopStatus.bottom, status.bottom);
    const int bannerRows = 29;  // the overlay's first line, 13 rows times 2.25
    const PixelBox banner = boxWhere(enlargedTexts, isWhite, 0, 0, 1440, bannerRows);
    const PixelBox desktopBanner = boxWhere(desktopTexts, isWhite, 0, 0, 1920, bannerRows);
    ASSERT_FALSE(banner.empty());
    EXPECT_EQ(desktopBanner, banner) << describe(desktopBanner) << " " << describe(banner);
}

// A picture caption over the status bar's rows covers the bar, shown 1:1 or enlarged alike: the status
// bar first, the captions over it.
TEST_F(FrameComposition, APictureCaptionCoversTheStatusBarInEveryMode)
{
    auto caption = std::make_shared<platform::CaptionPicture>();
    caption->canvasWidth = W;
    caption->canvasHeight = H;
    platform::CaptionBitmap bitmap;
    bitmap.x = 0;
    bitmap.y = H - 16;
    bitmap.width = 40;
    bitmap.height = 16;
    bitmap.palette = { 0xFFFF0000u };
    const std::vector<uint8_t> indices(static_cast<size_t>(bitmap.width) * bitmap.height, 0);
    int beyond = 0;
    bitmap.setIndices(indices.data(), bitmap.width, beyond);
    caption->bitmaps.push_back(std::move(bitmap));
    auto green = [](int r, int g, int b) { return r == 0 && g == 255 && b == 0; };
    auto red = [](int r, int g, int b) { return r > 240 && g < 16 && b < 16; };
    for (int fullscreen : { 0, 1 }) {
        SCOPED_TRACE(fullscreen ? "enlarged" : "1:1");
        if (fullscreen) {
            TearDown();
            sys = System {};
            bringUp(1);
            driver->desktopMode = { 1440, 1080, platform::PixelFormat::XRGB8888 };
        }
        openMovie(640, 480);
        script->running = false;
        setTime(milliseconds(65'000));
        sys.movie.currentCaption.reset(new Caption(nullptr));
        auto pictures = std::make_unique<PictureCaption>();
        pictures->addPictures({ caption });
        sys.movie.currentCaption->beginPictureTrack(std::move(pictures));
        renderFrame(sys);
        const platform::Surface& shown = driver->lastFrame;
        const double f = static_cast<double>(shown.width) / W;
        const int right = static_cast<int>(40 * f), top = static_cast<int>((H - 16) * f);
        EXPECT_FALSE(boxWhere(shown, green, right, top).empty()) << "no status bar beside the caption";
        EXPECT_TRUE(boxWhere(shown, green, 0, top, right).empty()) << "the status bar shows through the caption";
        EXPECT_FALSE(boxWhere(shown, red, 0, top, right).empty());
    }
}

// The status bar at 640x480: time text, volume scale and mark, position mark.
TEST_F(FrameComposition, StatusBarMarksSitOnTheirPixels)
{
    paint(128, 128, 128);
    sys.movie.movieDuration = 7'200'000;
    sys.commands.volume = 128;
    HDC dc = sys.displays.backSurface()->getDC();
    drawSeekBar(dc, frameLayout(sys), statusBar(sys, 3'600'000));
    sys.displays.backSurface()->releaseDC(dc);

    // Volume scale: one light-grey row from W - 144 to W - 16, the mark at W - 146 + 64 = 558.
    EXPECT_EQ(boxWhere(screen(), isLightGrey, 0, H - 4, W, H - 3), (PixelBox { 496, H - 4, 624, H - 3 }));
    EXPECT_EQ(boxWhere(screen(), isLightGrey, 480, H - 8, W, H - 4), (PixelBox { 558, H - 8, 560, H - 4 }));
    EXPECT_EQ(boxWhere(screen(), isLightGrey, 480, H - 3, W, H), (PixelBox { 558, H - 3, 560, H }));
    // Half of the movie: white columns 318 and 319, black column 320, in the bottom eight rows.
    EXPECT_EQ(boxWhere(screen(), isWhite, 200, H - 20, 480, H), (PixelBox { 318, H - 8, 320, H }));
    EXPECT_EQ(boxWhere(screen(), isBlack, 200, H - 20, 480, H), (PixelBox { 320, H - 8, 321, H }));
}

struct VolumeCase {
    int volume;
    int markLeft;
};

class VolumeMark : public FrameComposition, public ::testing::WithParamInterface<VolumeCase> { };

TEST_P(VolumeMark, FollowsTheVolume)
{
    paint(128, 128, 128);
    sys.movie.movieDuration = 1000;
    sys.commands.volume = GetParam().volume;
    HDC dc = sys.displays.backSurface()->getDC();
    drawSeekBar(dc, frameLayout(sys), statusBar(sys, 0));
    sys.displays.backSurface()->releaseDC(dc);
    int left = GetParam().markLeft;
    EXPECT_EQ(boxWhere(screen(), isLightGrey, 400, H - 8, W, H - 4), (PixelBox { left, H - 8, left + 2, H - 4 }));
}

INSTANTIATE_TEST_SUITE_P(Volumes, VolumeMark,
    ::testing::Values(VolumeCase { 0, W - 146 }, VolumeCase { 1, W - 146 }, VolumeCase { 128, 558 },
        VolumeCase { 255, W - 19 }));

struct PositionCase {
    uint32_t time;
    int whiteLeft;  // the black column is whiteLeft + 2
};

class PositionMark : public FrameComposition, public ::testing::WithParamInterface<PositionCase> { };

TEST_P(PositionMark, TruncatesTheScaledTime)
{
    paint(128, 128, 128);
    sys.movie.movieDuration = 3000;
    HDC dc = sys.displays.backSurface()->getDC();
    drawSeekBar(dc, frameLayout(sys), statusBar(sys, GetParam().time));
    sys.displays.backSurface()->releaseDC(dc);
    int white = GetParam().whiteLeft;
    PixelBox whites = boxWhere(screen(), isWhite, 0, H - 8, W, H);
    PixelBox blacks = boxWhere(screen(), isBlack, 0, H - 8, W, H);
    PixelBox onScreen { std::max(0, white), H - 8, std::min(W, white + 2), H };
    EXPECT_EQ(whites, onScreen.empty() ? PixelBox {} : onScreen) << describe(whites);
    EXPECT_EQ(blacks, white + 2 < W ? (PixelBox { white + 2, H - 8, white + 3, H }) : PixelBox {}) << describe(blacks);
}

// p = trunc(t * (640 / 3000)); white p - 2 and p - 1, black p.
INSTANTIATE_TEST_SUITE_P(Times, PositionMark,
    ::testing::Values(PositionCase { 0, -2 }, PositionCase { 5, -1 }, PositionCase { 10, 0 }, PositionCase { 1000, 211 },
        PositionCase { 2999, 637 }, PositionCase { 3000, 638 }, PositionCase { 9000, W + 1 },
        PositionCase { UINT32_MAX, W + 1 }));

// A picture reached by frame steps shows its milliseconds too.
TEST_F(FrameComposition, StatusTimeIsGreenMinutesAndSeconds)
{
    for (bool stepped : { false, true }) {
        SCOPED_TRACE(stepped);
        paint(0, 0, 0);
        platform::Surface black = screen();
        sys.movie.movieDuration = 7'200'000;
        sys.commands.volume = 0;
        sys.composition.frameStepped = stepped;
        HDC dc = sys.displays.backSurface()->getDC();
        drawSeekBar(dc, frameLayout(sys), statusBar(sys, 65'042));
        sys.displays.backSurface()->releaseDC(dc);
        platform::Surface expected = reference(black, sys.startup.seekBarFont, RGB(0, 255, 0),
            { { 0, H - 16, stepped ? "[01:05.042/120:00]" : "[01:05/120:00]" } });
        // The time text lies left of the volume scale and the position mark (at column 5).
        EXPECT_EQ(boxWhere(screen(), [](int r, int g, int b) { return g > 0 && r == 0 && b == 0; }),
            boxWhere(expected, [](int r, int g, int b) { return g > 0 && r == 0 && b == 0; }));
        for (int y = H - 16; y < H; ++y)
            for (int x = 10; x < 200; ++x) {
                int r1, g1, b1, r2, g2, b2;
                platform::readRgb(screen(), x, y, r1, g1, b1);
                platform::readRgb(expected, x, y, r2, g2, b2);
                ASSERT_EQ(g1, g2) << "at " << x << "," << y;
            }
    }
}

uint32_t noticeClockNow = 0;
uint32_t noticeClock() { return noticeClockNow; }

// A notice (a list movie passed over) follows the status time for three seconds, then no more.
TEST_F(FrameComposition, StatusBarNamesAnUnopenedMovieForThreeSeconds)
{
    sys.movie.movieDuration = 7'200'000;
    sys.commands.volume = 0;
    auto isGreen = [](int r, int g, int b) { return g > 0 && r == 0 && b == 0; };
    auto greenAt = [&](uint32_t now) {
        noticeClockNow = now;
        paint(0, 0, 0);
        HDC dc = sys.displays.backSurface()->getDC();
        const FrameLayout layout = frameLayout(sys);
        drawSeekBar(dc, layout, statusBar(sys, 65'000));
        drawStatusNotice(dc, layout, { "[01:05/120:00]", noticeText(sys), false });
        sys.displays.backSurface()->releaseDC(dc);
        return boxWhere(screen(), isGreen, 0, H - 16, W - 150, H);
    };
    paint(0, 0, 0);
    const platform::Surface black = screen();
    platform::setCalendarClock(noticeClock);
    noticeClockNow = 1000;
    showNotice(sys, "열 수 없음: broken.avi", 3);
    const PixelBox named = greenAt(1000);
    const PixelBox timeOnly = greenAt(1004);
    ASSERT_GT(named.right, timeOnly.right + 40) << describe(named);
    EXPECT_EQ(greenAt(1003), named);
    EXPECT_EQ(timeOnly, boxWhere(reference(black, sys.startup.seekBarFont, RGB(0, 255, 0),
                                     { { 0, H - 16, "[01:05/120:00]" } }),
                            isGreen, 0, H - 16, W - 150, H));
    platform::setCalendarClock(nullptr);
}

TEST_F(FrameComposition, LetterBoxPaintsTheBandsAboveAndBelowThePicture)
{
    openMovie(720, 480);
    ASSERT_EQ(sys.videoPlacement.dstY, 27);
    paint(128, 128, 128);
    platform::PixelView& movie = picture();
    fillSurface(movie, 200, 40, 40);
    sys.settings.seekbar = 0;
    sys.settings.iscaption = 0;
    script->running = false;  // the picture at the position stands
    renderFrame(sys);
    EXPECT_EQ(boxWhere(screen(), isBlack), (PixelBox { 0, 0, W, H }));
    EXPECT_EQ(boxWhere(screen(), isBlack, 0, 27, W, 453), PixelBox {});
    EXPECT_EQ(boxWhere(screen(), isBlack, 0, 0, W, 27), (PixelBox { 0, 0, W, 27 }));
    EXPECT_EQ(boxWhere(screen(), isBlack, 0, 453, W, H), (PixelBox { 0, 453, W, H }));
    EXPECT_EQ(boxWhere(screen(), [](int r, int g, int b) { return r == 200 && g == 40 && b == 40; }),
        (PixelBox { 0, 27, W, 453 }));
}

TEST_F(FrameComposition, FullPaintsNoBorder)
{
    openMovie(720, 480, milliseconds(60'000), FitMode::Full);
    paint(128, 128, 128);
    HDC dc = sys.displays.backSurface()->getDC();
    fillBorders(dc, frameLayout(sys), frameContent(sys));
    sys.displays.backSurface()->releaseDC(dc);
    EXPECT_EQ(boxWhere(screen(), [](int r, int, int) { return r != 128; }), PixelBox {});
}

TEST_F(FrameComposition, EnhancedFlippedPictureIsStretchedAndMirrored)
{
    openMovie(320, 240, milliseconds(60'000), FitMode::Full);
    sys.settings.seekbar = 0;
    sys.settings.iscaption = 0;
    script->running = false;
    platform::PixelView& movie = picture();
    // Top half red, bottom half blue.
    for (int y = 0; y < movie.height; ++y)
        for (int x = 0; x < movie.width; ++x)
            platform::writePixel(movie, x, y,
                y < movie.height / 2 ? platform::packPixel(movie.format, 255, 0, 0)
                                     : platform::packPixel(movie.format, 0, 0, 255));
    auto red = [](int r, int g, int b) { return r == 255 && g == 0 && b == 0; };
    auto blue = [](int r, int g, int b) { return r == 0 && g == 0 && b == 255; };

    sys.commands.pictureFlags = EnhanceImage | FlipVertical;
    renderFrame(sys);
    EXPECT_EQ(boxWhere(screen(), blue, 0, 0, W, H / 2 - 2), (PixelBox { 0, 0, W, H / 2 - 2 }));
    EXPECT_EQ(boxWhere(screen(), red, 0, H / 2 + 2, W, H), (PixelBox { 0, H / 2 + 2, W, H }));
    // Area averaging mixes the two colours only on the rows where they meet.
    EXPECT_TRUE(boxWhere(screen(), red, 0, 0, W, H / 2 - 1).empty());

    sys.commands.pictureFlags = FlipVertical;
    renderFrame(sys);
    EXPECT_EQ(boxWhere(screen(), blue), (PixelBox { 0, 0, W, H / 2 }));
    EXPECT_EQ(boxWhere(screen(), red), (PixelBox { 0, H / 2, W, H }));

    sys.commands.pictureFlags = EnhanceImage;
    renderFrame(sys);
    EXPECT_EQ(boxWhere(screen(), red, 0, 0, W, H / 2 - 2), (PixelBox { 0, 0, W, H / 2 - 2 }));
    EXPECT_EQ(boxWhere(screen(), blue, 0, H / 2 + 2, W, H), (PixelBox { 0, H / 2 + 2, W, H }));
}

TEST_F(FrameComposition, ARefusedCopyIsLoggedOnceAndTheFrameStartsFromBlack)
{
    openMovie(1280, 720, milliseconds(60'000), FitMode::PanScan);
    script->running = false;
    fillSurface(picture(), 200, 40, 40);
    auto red = [](int r, int g, int b) { return r == 200 && g == 40 && b == 40; };
    // A source rectangle one row above the picture: the copy is refused.
    sys.videoPlacement.srcY = -1;
    paint(128, 128, 128);
    for (int i = 0; i < 3; ++i)
        renderFrame(sys);
    EXPECT_EQ(boxWhere(screen(), [](int r, int g, int b) { return r == 128 && g == 128 && b == 128; }), PixelBox {});
    EXPECT_EQ(boxWhere(screen(), red), PixelBox {});
    PixelBox drawn = boxWhere(screen(), [](int r, int g, int b) { return !isBlack(r, g, b); });
    EXPECT_GE(drawn.top, H - 16) << "only the status bar is drawn over the black: " << describe(drawn);
    const std::string text = log.text();
    const size_t first = text.find("drawVideo : picture copy refused, Err=0x");
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_NE(text.find("Src=161,-1(958,720) Dst=0,0(639,480)\n", first), std::string::npos) << text;
    EXPECT_EQ(text.find("copy refused", text.find("Dst=", first)), std::string::npos) << "logged once: " << text;

    computeVideoPlacement(sys);
    renderFrame(sys);
    EXPECT_EQ(boxWhere(screen(), red, 0, 0, W, H - 16), (PixelBox { 0, 0, W - 1, H - 16 }));
}

TEST_F(FrameComposition, StatusTimeComesFromTheStream)
{
    openMovie(640, 480);
    script->running = false;
    setTime(milliseconds(65'000));
    sys.settings.iscaption = 0;
    paint(0, 0, 0);
    platform::Surface black = screen();
    renderFrame(sys);
    platform::Surface expected = reference(black, sys.startup.seekBarFont, RGB(0, 255, 0), { { 0, H - 16, "[01:05/120:00]" } });
    auto green = [](int r, int g, int b) { return g > 0 && r == 0 && b == 0; };
    EXPECT_EQ(boxWhere(screen(), green, 0, 0, 300, H), boxWhere(expected, green, 0, 0, 300, H));
}

TEST_F(FrameComposition, CaptionIsLookedUpAtTheShiftedTime)
{
    openMovie(640, 480);
    script->running = false;
    sys.settings.seekbar = 0;
    sys.settings.captionstyle = 0;
    openMovieCaption(sys, nullptr);
    sys.movie.currentCaption->addEntry(0, "가나다");
    sys.movie.currentCaption->addEntry(2000, "");
    sys.movie.currentCaption->addEntry(endMarker, "");
    sys.movie.currentItem.timeshift = -5000;
    auto band = [&] { return boxWhere(screen(), isWhite, 0, H - 100, W, H); };

    setTime(milliseconds(3000));  // caption time 0: the first entry is in force
    renderFrame(sys);
    EXPECT_FALSE(band().empty());

    setTime(milliseconds(8000));  // caption time 3000: the blank entry
    renderFrame(sys);
    EXPECT_TRUE(band().empty()) << describe(band());

    sys.settings.iscaption = 0;
    setTime(milliseconds(3000));
    renderFrame(sys);
    EXPECT_TRUE(band().empty());
}

// Captions are drawn over the status bar: a caption keeps its place whether the bar is on or off, under
// automatic and semi-automatic placement, one line or four, at the default band and one lowered by Down.
TEST_F(FrameComposition, ACaptionKeepsItsPlaceOverTheStatusBar)
{
    openMovie(640, 480);
    script->running = false;
    setTime(milliseconds(0));  // the position mark lies off the screen
    struct Case {
        const char* text;
        int32_t style;
        int32_t fontposy;
    };
    const Case cases[] = { { "가나다", styleShadow | styleAutoPlace, 100 },
        { "가나다", styleShadow | styleSemiAutoPlace, 12 },
        { "가나다\n가나다\n가나다\n가나다", styleShadow | styleSemiAutoPlace, 100 } };
    for (const Case& c : cases) {
        openMovieCaption(sys, nullptr);
        sys.movie.currentCaption->addEntry(0, c.text);
        sys.movie.currentCaption->addEntry(endMarker, "");
        sys.settings.captionstyle = c.style;
        sys.settings.fontposy = c.fontposy;
        sys.settings.seekbar = 0;
        renderFrame(sys);
        const PixelBox free = boxWhere(screen(), isWhite);
        sys.settings.seekbar = 1;
        renderFrame(sys);
        const PixelBox over = boxWhere(screen(), isWhite);
        EXPECT_GT(free.bottom, H - 16) << c.text << ": the text ends in the bar's rows, " << describe(free);
        EXPECT_LE(free.bottom, H - 2) << c.text << ": " << describe(free);
        EXPECT_EQ(over, free) << c.text << " with the bar: " << describe(over);
    }
}

// A second caption sits above the first, with its own time shift, never touching it: the first is drawn
// where it is without a second; with no room above, the second starts at the picture's top and is cut off
// before the first.
TEST_F(FrameComposition, ASecondCaptionIsDrawnAboveTheFirstWithoutOverlap)
{
    openMovie(640, 480);
    script->running = false;
    setTime(milliseconds(1000));
    sys.settings.seekbar = 0;
    sys.settings.captionstyle = styleShadow | styleOutline | styleSemiAutoPlace;
    fillSurface(picture(), 90, 90, 90);
    openMovieCaption(sys, nullptr);
    sys.movie.currentCaption->addEntry(0, "가나다 first");
    sys.movie.currentCaption->addEntry(endMarker, "");
    auto ink = [](int r, int g, int b) { return !(r == 90 && g == 90 && b == 90); };
    renderFrame(sys);
    const PixelBox alone = boxWhere(screen(), ink);
    ASSERT_FALSE(alone.empty());

    openSecondCaption(sys, nullptr);
    sys.movie.secondCaption->addEntry(0, "");
    sys.movie.secondCaption->addEntry(3000, "라마바\nsecond");
    sys.movie.secondCaption->addEntry(endMarker, "");
    sys.movie.secondShift = 2500;  // caption time 3500 for the second, 1000 for the first
    renderFrame(sys);
    EXPECT_EQ(boxWhere(screen(), ink, 0, alone.top), alone) << "the first stays where it was";
    const PixelBox second = boxWhere(screen(), ink, 0, 0, W, alone.top);
    ASSERT_FALSE(second.empty());
    EXPECT_LT(second.bottom, alone.top) << describe(second) << " over " << describe(alone);
    EXPECT_GT(second.height(), 40) << "two lines: " << describe(second);
    EXPECT_GT(second.top, 0);

    // Without its shift the second shows its blank entry: nothing above the first.
    sys.movie.secondShift = 0;
    renderFrame(sys);
    EXPECT_TRUE(boxWhere(screen(), ink, 0, 0, W, alone.top).empty());

    // The band near the top of the screen: the second starts at the picture's top and stops short.
    sys.movie.secondShift = 2500;
    sys.settings.fontposy = H - 40;
    renderFrame(sys);
    const PixelBox first = boxWhere(screen(), ink, 0, 40);
    const PixelBox cut = boxWhere(screen(), ink, 0, 0, W, 40);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(cut.empty());
    EXPECT_LT(cut.top, 10);
    EXPECT_LT(cut.bottom, first.top) << describe(cut) << " over " << describe(first);
}

// In a window at 1:1, once a frame has been shown, the next ones are composed straight in the window's
// framebuffer; the window then shows exactly what the copy of the back surface showed (borders,
// picture, status bar, caption, overlay), and a resize goes back to the copy until the size is right.
TEST_F(FrameComposition, ComposedWhereItIsShownTheWindowShowsWhatTheCopyShowed)
{
    // The program's own display, on SDL's offscreen driver.
    sys.displays.display.reset();
    platform::setDisplayDriver(nullptr);
    driver = nullptr;
    ASSERT_EQ(ddEnum(sys), 0);
    auto shown = [&] {
        platform::Surface pixels;
        EXPECT_TRUE(platform::windowFramebufferPixels(window.handle(), pixels));
        EXPECT_TRUE(pixels.width == W && pixels.height == H);
        return pixels;
    };
    auto drawnWhereShown = [&] { return sys.displays.backSurface()->surface->drawnWhereShown(); };

    openMovie(640, 360);  // letter-boxed: black bands above and below
    script->running = false;
    for (int y = 0; y < 360; ++y)
        for (int x = 0; x < 640; ++x)
            platform::writePixel(picture(), x, y, platform::packPixel(platform::PixelFormat::XRGB8888, x * 255 / 639, y * 255 / 359, 96));
    openMovieCaption(sys, nullptr);
    sys.movie.currentCaption->addEntry(0, "가나다");
    sys.movie.currentCaption->addEntry(5000, "");
    sys.movie.currentCaption->addEntry(endMarker, "");
    sys.commands.volume = 128;
    auto rich = [&] {
        setTime(milliseconds(3000));
        sys.settings.help = 1;
    };
    auto plain = [&] {
        setTime(milliseconds(65000));
        sys.settings.help = 0;
    };

    rich();
    renderFrame(sys);  // shown through a copy
    const platform::Surface copied = shown();
    EXPECT_FALSE(boxWhere(copied, isWhite, 0, H - 100, W, H - 60).empty()) << "no caption";
    EXPECT_TRUE(boxWhere(copied, isBlack, 0, 0, W, 60).width() == W);
    ASSERT_TRUE(drawnWhereShown());

    plain();
    renderFrame(sys);  // composed in the framebuffer
    EXPECT_NE(firstDifferentRow(shown(), copied), -1);
    rich();
    renderFrame(sys);
    EXPECT_TRUE(drawnWhereShown());
    EXPECT_EQ(firstDifferentRow(shown(), copied), -1);

    MoveWindow(window.handle(), 0, 0, W - 40, H - 40, FALSE);
    plain();
    renderFrame(sys);
    EXPECT_FALSE(drawnWhereShown());
    MoveWindow(window.handle(), 0, 0, W, H, FALSE);
    rich();
    renderFrame(sys);
    EXPECT_EQ(firstDifferentRow(shown(), copied), -1);
    EXPECT_TRUE(drawnWhereShown());
}

// The stall rule: more busy frames in a row than the limit make the stream jump.
TEST_F(FrameComposition, ABusyDecoderIsSkippedToTheCurrentTimeThenThreeSecondsBack)
{
    openMovie(64, 48);
    setTime(milliseconds(10'000));
    scriptBusyFrames(12);
    for (int i = 0; i < 12; ++i)
        renderFrame(sys);
    EXPECT_EQ(sys.composition.stallCount, 12);
    EXPECT_TRUE(script->seeks.empty());

    scriptBusyFrames(1);
    renderFrame(sys);
    ASSERT_EQ(script->seeks.size(), 1u);
    EXPECT_EQ(script->seeks[0], MediaTime(milliseconds(10'000)));
    EXPECT_EQ(sys.composition.stallLimit, 24);
    EXPECT_EQ(sys.composition.stallCount, 0);

    setTime(milliseconds(2000));
    scriptBusyFrames(24);
    for (int i = 0; i < 24; ++i)
        renderFrame(sys);
    EXPECT_EQ(script->seeks.size(), 1u);
    scriptBusyFrames(1);
    renderFrame(sys);
    ASSERT_EQ(script->seeks.size(), 2u);
    // Three seconds before 2000 ms is below the start: the seek goes to the start (0, sent as 1 ms).
    EXPECT_EQ(script->seeks[1], MediaTime(milliseconds(1)));
    EXPECT_NE(log.text().find("Seek=0\n"), std::string::npos);
    EXPECT_EQ(sys.composition.stallLimit, 24);

    setTime(milliseconds(20'000));
    scriptBusyFrames(25);
    for (int i = 0; i < 25; ++i)
        renderFrame(sys);
    ASSERT_EQ(script->seeks.size(), 3u);
    EXPECT_EQ(script->seeks[2], MediaTime(milliseconds(17'000)));

    // A delivered frame ends the stall: back to the normal limit.
    script->deliveries.push_back(FrameDelivery { FrameOutcome::Delivered, MediaTime(0), MediaTime(400'000) });
    renderFrame(sys);
    EXPECT_EQ(sys.composition.stallLimit, 12);
    EXPECT_EQ(sys.composition.stallCount, 0);
    EXPECT_NE(log.text().find("xmmstream : Time=20000, RTS=2 Err=0x80040406\n"), std::string::npos) << log.text();
}

// A seek by the user starts the rule over as a skip does: the first skip after it goes 3 s back.
TEST_F(FrameComposition, ASkipSoonAfterASeekGoesThreeSecondsBack)
{
    openMovie(64, 48);
    seekMovie(sys, 30'000);
    setTime(milliseconds(30'000));
    scriptBusyFrames(24);
    for (int i = 0; i < 24; ++i)
        renderFrame(sys);
    EXPECT_EQ(script->seeks.size(), 1u);
    scriptBusyFrames(1);
    renderFrame(sys);
    ASSERT_EQ(script->seeks.size(), 2u);
    EXPECT_EQ(script->seeks[1], MediaTime(milliseconds(27'000)));
}

TEST_F(FrameComposition, WithoutQuickSkipTheStallCountKeepsRising)
{
    openMovie(64, 48);
    sys.settings.quickskip = 0;
    scriptBusyFrames(40);
    for (int i = 0; i < 40; ++i)
        renderFrame(sys);
    EXPECT_EQ(sys.composition.stallCount, 40);
    EXPECT_TRUE(script->seeks.empty());
}

TEST_F(FrameComposition, AWaitResultLeavesTheStallCountersAlone)
{
    openMovie(64, 48);
    scriptBusyFrames(5);
    for (int i = 0; i < 5; ++i)
        renderFrame(sys);
    // Not due within the quarter second, twice: the update answers 1.
    script->deliveries.push_back(FrameDelivery { FrameOutcome::NotDue });
    script->deliveries.push_back(FrameDelivery { FrameOutcome::NotDue });
    renderFrame(sys);
    EXPECT_EQ(sys.composition.stallCount, 5);
    script->deliveries.push_back(FrameDelivery { FrameOutcome::Delivered, MediaTime(0), MediaTime(400'000) });
    renderFrame(sys);
    EXPECT_EQ(sys.composition.stallCount, 0);
}

}

namespace {

// An untagged high-definition movie on the real media engine, its pictures composed in one display mode
// after another.
class MovieColours : public Composition {
protected:
    void TearDown() override
    {
        closeMovieStream(sys);
        Composition::TearDown();
    }

    // The colour patch's middle as the screen shows it in a mode (a window, or full screen on a 1440x1080
    // desktop) at bpp bits, after two pictures were converted by the stream's one converter.
    void shownPatch(int fullscreen, int width, int height, int bpp, int& r, int& g, int& b)
    {
        closeMovieStream(sys);
        sys.displays.display.reset();
        driver->desktopMode = { 1440, 1080, platform::PixelFormat::XRGB8888 };
        sys.settings.fullscreen = fullscreen;
        sys.settings.screenx = width;
        sys.settings.screeny = height;
        sys.settings.bpp = bpp;
        sys.settings.seekbar = 0;
        ASSERT_EQ(ddEnum(sys), 0);
        ASSERT_EQ(sys.settings.screenx, width) << "the mode was refused";
        ASSERT_NE(openMovieStream(sys, movie.c_str()), nullptr);
        ASSERT_EQ(sys.movie.currentStream->lastResult, 0);
        sys.movie.movieDuration = sys.movie.currentStream->duration;
        computeVideoPlacement(sys);
        for (uint32_t at : { 0u, 200u }) {
            seekMovie(sys, at);
            for (int turn = 0; turn < 100 && pictureAwaited(sys); ++turn)
                renderFrame(sys);
            ASSERT_FALSE(pictureAwaited(sys)) << "no picture at " << at;
        }
        const platform::Surface& shown = driver->lastFrame;
        const double f = static_cast<double>(shown.width) / width;
        const VideoPlacement& p = sys.videoPlacement;
        const int x = static_cast<int>((p.dstX + p.dstWidth / 6) * f);
        const int y = static_cast<int>((p.dstY + p.dstHeight / 2) * f);
        platform::readRgb(shown, x, y, r, g, b);
    }

    ScratchDir files;
    std::string movie = files.file("hd.avi");
};

}

// Window or full screen, scaled or 1:1, 16 or 32 bits: the picture's colours follow one rule (untagged
// high definition decodes as BT.709: the patch is red with some green), from the first picture on.
TEST_F(MovieColours, AWindowAndFullScreenShowOneMovieAlike)
{
    // 720 rows: high definition; 960 columns: a 1:1 window of it fits the test's desktop.
    fixtures::MovieRecipe hd;
    hd.width = 960;
    hd.height = 720;
    hd.frameCount = 10;
    hd.withAudio = false;
    ASSERT_EQ(fixtures::writeMovie(movie, hd), "");
    const struct {
        const char* name;
        int fullscreen, width, height;
    } modes[] = { { "a window, scaled down", 0, 640, 480 }, { "full screen, enlarged", 1, 640, 480 },
        { "a window, 1:1", 0, 960, 720 } };
    for (int bpp : { 16, 32 }) {
        int first[3] = {};
        for (const auto& mode : modes) {
            SCOPED_TRACE(std::string(mode.name) + " at " + std::to_string(bpp) + " bits");
            int r = 0, g = 0, b = 0;
            shownPatch(mode.fullscreen, mode.width, mode.height, bpp, r, g, b);
            EXPECT_GE(r, 240);
            EXPECT_GE(g, 16);
            EXPECT_LE(g, 32);
            EXPECT_LE(b, 8);
            if (&mode == modes) {
                first[0] = r, first[1] = g, first[2] = b;
                continue;
            }
            EXPECT_NEAR(r, first[0], 8) << "against " << modes[0].name;
            EXPECT_NEAR(g, first[1], 8) << "against " << modes[0].name;
            EXPECT_NEAR(b, first[2], 8) << "against " << modes[0].name;
        }
    }
}
