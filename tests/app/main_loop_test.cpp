#include "app/debug_log.h"
#include "app/main_loop.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/system.h"
#include "display/display.h"
#include "display/notice.h"
#include "media/media_stream.h"
#include "media/movie_list.h"
#include "media/movie_session.h"
#include "media/movie_start.h"
#include "media/study_mode.h"
#include "platform/ddraw/display_driver.h"
#include "platform/kernel.h"
#include "platform/power.h"
#include "platform/surface.h"
#include "support/input_injection.h"
#include "support/running_player.h"
#include "ui/keyboard_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace sublumen;
using namespace testing_support;

namespace {

// Every start attempt logs its "Play[...]" line, so the loop's rules on the list can be followed in the
// log. The movies open on the scripted media engine: missing ones would be passed over.
class MainLoop : public RunningPlayer {
protected:
    void SetUp() override
    {
        RunningPlayer::SetUp();
        playScripted();
        // Every turn shows a picture without a word in the log.
        script->afterDeliveries = {platform::FrameOutcome::Delivered};
    }
    // Marks the stream object of the current movie as having reached its end.
    void endCurrentMovie(int32_t isPlaying)
    {
        ASSERT_NE(sys.movie.currentStream, nullptr);
        sys.movie.currentStream->ended = 1;
        sys.playback.isPlaying = isPlaying;
    }
};

TEST_F(MainLoop, PeriodPressesAddUpToOneStartAttempt)
{
    start();
    press(VK_OEM_PERIOD);
    press(VK_OEM_PERIOD);
    press(VK_OEM_PERIOD);
    turn();
    std::string text = newLog();
    EXPECT_EQ(countOf(text, "Play["), 1u) << text;
    EXPECT_NE(text.find("Play[t4/"), std::string::npos) << text;
    EXPECT_EQ(sys.playback.movieStep, 0);
    EXPECT_EQ(sys.playback.isPlaying, 1);
}

TEST_F(MainLoop, CommaAndPeriodCancelOut)
{
    start();
    press(VK_OEM_COMMA);
    press(VK_OEM_PERIOD);
    turn();
    EXPECT_EQ(countOf(newLog(), "Play["), 0u);
    EXPECT_EQ(sys.playback.movieStep, 0);
}

TEST_F(MainLoop, EndOfAPausedMovieIsNotActedOn)
{
    start();
    MediaStream* stream = sys.movie.currentStream.get();
    endCurrentMovie(0);
    turn();
    turn();
    EXPECT_EQ(countOf(newLog(), "Play["), 0u);
    EXPECT_EQ(sys.movie.currentStream.get(), stream);
}

TEST_F(MainLoop, EndOfAMovieReplacesPendingSteps)
{
    start();
    press(VK_OEM_COMMA);
    press(VK_OEM_COMMA);
    press(VK_OEM_PERIOD);
    press(VK_OEM_PERIOD);
    press(VK_OEM_PERIOD);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE))
        loopTurn(sys, accelerators);
    ASSERT_EQ(sys.playback.movieStep, 1);
    endCurrentMovie(1);
    turn();
    std::string text = newLog();
    EXPECT_EQ(countOf(text, "Play["), 1u);
    EXPECT_NE(text.find("Play[t2/"), std::string::npos) << text;
    EXPECT_EQ(sys.playback.movieStep, 0);
}

TEST_F(MainLoop, EndOfTheLastMovieStopsPlaybackAndStaysOpen)
{
    start();
    startMovie(sys, 4);
    ASSERT_NE(newLog().find("Play[t5/"), std::string::npos);
    logMark = log().size();
    endCurrentMovie(1);
    EXPECT_EQ(turn(), LoopOutcome::Continue);
    EXPECT_EQ(newLog(), "No more Movie File to Play.\n");
    EXPECT_EQ(sys.playback.isPlaying, 0);
    EXPECT_EQ(sys.movie.currentStream, nullptr);
    EXPECT_EQ(sys.movie.movieDuration, 0u);

    // Later turns do nothing more and the window stays.
    EXPECT_EQ(turn(), LoopOutcome::Continue);
    EXPECT_EQ(turn(), LoopOutcome::Continue);
    EXPECT_EQ(countOf(newLog(), "No more Movie"), 1u);
    EXPECT_NE(sys.window.mainWindow, nullptr);

    // A further period finds no movie either; a comma returns to the last one.
    press(VK_OEM_PERIOD);
    turn();
    EXPECT_EQ(countOf(newLog(), "No more Movie"), 2u);
    logMark = log().size();
    press(VK_OEM_COMMA);
    turn();
    std::string text = newLog();
    EXPECT_EQ(countOf(text, "No more Movie"), 0u) << text;
    EXPECT_EQ(text.rfind("KeyDown=0xBC\nPlay[t5/", 0), 0u) << text;
    EXPECT_NE(sys.movie.currentStream, nullptr);
}

TEST_F(MainLoop, CommaAtTheFirstMovieStartsItAgain)
{
    start();
    sys.playback.isPlaying = 1;
    press(VK_OEM_COMMA);
    turn();
    std::string text = newLog();
    EXPECT_EQ(countOf(text, "No more Movie"), 0u) << text;
    EXPECT_EQ(text.rfind("KeyDown=0xBC\nPlay[t1/", 0), 0u) << text;
    EXPECT_NE(sys.movie.currentStream, nullptr);
}

TEST_F(MainLoop, MoviesThatCannotBeOpenedArePassedOverInTheDirectionOfTravel)
{
    script->missingPaths = { dir.file("movie2.avi"), dir.file("movie4.avi") };
    start();
    // The end of t1 goes on past the missing t2 to t3, naming t2 for the status bar.
    endCurrentMovie(1);
    turn();
    std::string text = newLog();
    EXPECT_NE(text.find("Play[t2/"), std::string::npos) << text;
    EXPECT_NE(text.find("Video Load Fail : error=6\nPlay[t3/"), std::string::npos) << text;
    EXPECT_EQ(sys.playback.isPlaying, 1);
    EXPECT_EQ(sys.movie.unopenedMovie, "movie2.avi");
    // A comma goes back past it to t1.
    logMark = log().size();
    press(VK_OEM_COMMA);
    turn();
    text = newLog();
    EXPECT_EQ(countOf(text, "Play["), 2u) << text;
    EXPECT_NE(text.find("Video Load Fail : error=6\nPlay[t1/"), std::string::npos) << text;
    // Past the missing last-but-one to t5, and the end comes after it.
    logMark = log().size();
    press(VK_OEM_PERIOD);
    press(VK_OEM_PERIOD);
    press(VK_OEM_PERIOD);
    turn();
    text = newLog();
    EXPECT_NE(text.find("Video Load Fail : error=6\nPlay[t5/"), std::string::npos) << text;
    EXPECT_EQ(sys.movie.unopenedMovie, "movie4.avi");
    endCurrentMovie(1);
    turn();
    EXPECT_EQ(sys.playback.isPlaying, 0);
    EXPECT_EQ(sys.movie.currentStream, nullptr);
}

TEST_F(MainLoop, AListOfMoviesNoneOfWhichOpensEnds)
{
    for (int i = 1; i <= 3; ++i)
        script->missingPaths.push_back(dir.file("movie" + std::to_string(i) + ".avi"));
    start(0, 3);
    std::string text = log();
    EXPECT_EQ(countOf(text, "Play["), 3u) << text;
    EXPECT_NE(text.find("Play[t3/"), std::string::npos) << text;
    EXPECT_EQ(countOf(text, "No more Movie File to Play.\n"), 1u) << text;
    EXPECT_EQ(sys.movie.currentStream, nullptr);
    // Back from the last one: t2 and t1, then forward from the first: t2 and t3, and the list ends.
    logMark = log().size();
    sys.movie.movieList->stepToLast();
    ASSERT_EQ(startPlayableMovie(sys, -1), -1);
    text = newLog();
    EXPECT_EQ(countOf(text, "Play["), 4u) << text;
    EXPECT_EQ(countOf(text, "No more Movie File to Play.\n"), 1u) << text;
}

TEST_F(MainLoop, ReInitWaitsForTheQueueAndAnIdleTurn)
{
    start();
    press('3');
    press('A');
    press(VK_OEM_PERIOD);
    for (int handled = 0; handled < 3; ++handled) {
        EXPECT_EQ(loopTurn(sys, accelerators), LoopOutcome::Continue);
        EXPECT_EQ(newLog().find(">>> ReInit"), std::string::npos) << "after message " << handled + 1;
    }
    EXPECT_EQ(sys.playback.reinitRequest, 1);
    EXPECT_EQ(loopTurn(sys, accelerators), LoopOutcome::Continue);
    std::string text = newLog();
    size_t keys = text.find("KeyDown=0x33\nKeyDown=0x41\nKeyDown=0xBE\n");
    size_t idle = text.find("Play[t2/");
    size_t reinit = text.find(">>> ReInit... 800x600x16\n");
    ASSERT_NE(keys, std::string::npos) << text;
    ASSERT_NE(idle, std::string::npos) << text;
    ASSERT_NE(reinit, std::string::npos) << text;
    EXPECT_LT(keys, idle);
    EXPECT_LT(idle, reinit);
    EXPECT_EQ(sys.playback.reinitRequest, 0);
    RECT client {};
    GetClientRect(sys.window.mainWindow, &client);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
}

TEST_F(MainLoop, TwoGravePressesGiveTheOldDepthAndOneReInit)
{
    start();
    press(VK_OEM_3);
    press(VK_OEM_3);
    turn();
    EXPECT_EQ(sys.settings.bpp, 16);
    EXPECT_EQ(countOf(newLog(), ">>> ReInit... 640x480x16\n"), 1u);
    EXPECT_EQ(sys.playback.reinitRequest, 0);
}

TEST_F(MainLoop, ReInitWithoutAMovieRebuildsOnlyTheDisplay)
{
    start();
    startMovie(sys, 10);
    ASSERT_EQ(sys.movie.currentStream, nullptr);
    logMark = log().size();
    sys.settings.fullscreen = 1;
    sys.playback.reinitRequest = 1;
    EXPECT_EQ(ReInit(sys), 0);
    EXPECT_EQ(newLog(),
        ">>> ReInit... 640x480x16\n>>> ReInit... 1\n>>> ReInit... 2\nddEnum() == 1\n"
        "DD-Device 0=" + std::string(sys.displays.displayDevices[0].driverName) + ":"
            + sys.displays.displayDevices[0].description
            + "\n>>> initDirectDrawMode() 1\n>>> initDirectDrawMode() 2\n>>> initDirectDrawMode() 6\n"
              ">>> initDirectDrawMode() 8\n>>> ReInit... 3\n>>> ReInit... 4\nReInit success.\n");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(sys.window.mainWindow, GWL_STYLE)) & ~WS_VISIBLE, WS_POPUP);
    EXPECT_EQ(sys.playback.reinitRequest, 0);
    EXPECT_NE(sys.displays.backSurface(), nullptr);
}

TEST_F(MainLoop, ReInitReopensTheMovieItHad)
{
    start();
    startMovie(sys, 2);
    logMark = log().size();
    sys.playback.reinitRequest = 1;
    EXPECT_EQ(ReInit(sys), 0);
    std::string text = newLog();
    EXPECT_LT(text.find(">>> ReInit... 3\n"), text.find("Play[t3/"));
    EXPECT_LT(text.find("Play[t3/"), text.find(">>> ReInit... 4\n"));
}

TEST_F(MainLoop, RefusedFullScreenModeGoesOnInTheFallback)
{
    platform::setDisplayDriver(std::make_unique<platform::ScriptedDisplayDriver>());
    start(1);
    press('5');  // 1280 x 960 does not fit the 1024 x 768 desktop.
    EXPECT_EQ(turn(), LoopOutcome::Continue);
    std::string text = newLog();
    EXPECT_NE(text.find(">>> ReInit... 1280x960x16\n"), std::string::npos) << text;
    EXPECT_NE(text.find("FullMode Change Fail -3\n>>> initDirectDrawMode() 4\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ReInit success.\n"), std::string::npos);
    EXPECT_EQ(sys.settings.screenx, 640);
    EXPECT_EQ(sys.settings.screeny, 480);
    EXPECT_EQ(sys.playback.reinitRequest, 0);
}

TEST_F(MainLoop, FailedReInitEndsTheLoopAndKeepsTheFallbackSettings)
{
    auto driver = std::make_unique<platform::ScriptedDisplayDriver>();
    driver->refusedModes.insert({ 640, 480, 16 });
    platform::setDisplayDriver(std::move(driver));
    setting("bpp dword 32");
    start(1);
    ASSERT_EQ(sys.settings.bpp, 32);
    press('5');
    EXPECT_EQ(turn(), LoopOutcome::End);
    std::string text = newLog();
    EXPECT_NE(text.find("DD Mode change fail.\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("ReInit success."), std::string::npos);
    EXPECT_EQ(sys.playback.reinitRequest, 1);
    deinitAll(sys);
    std::string saved = readFile(dir.file("config/sublumen/settings"));
    EXPECT_NE(saved.find("screenx dword 640\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("screeny dword 480\n"), std::string::npos);
    EXPECT_NE(saved.find("bpp dword 16\n"), std::string::npos);
}

// The same rules on movies that play, on the scripted media engine.
class PlayingLoop : public RunningPlayer {
protected:
    void SetUp() override
    {
        RunningPlayer::SetUp();
        playScripted();
        start(0, 3);
    }
};

TEST_F(PlayingLoop, RealEndOfAMovieStartsTheNextInTheSameTurn)
{
    ASSERT_NE(sys.movie.currentStream, nullptr);
    ASSERT_EQ(sys.movie.movieDuration, 120000u);
    ASSERT_EQ(sys.playback.isPlaying, 1);
    script->time = std::chrono::seconds(120);
    script->deliveries.push_back({ platform::FrameOutcome::EndOfStream });
    turn();
    std::string text = newLog();
    EXPECT_NE(text.find("Play[t2/"), std::string::npos) << text;
    EXPECT_EQ(sys.playback.isPlaying, 1);
    EXPECT_EQ(sys.movie.currentStream->ended, 0);
}

TEST_F(PlayingLoop, FocusStatesStopAndResumeTheStream)
{
    int stops = script->stopCalls;
    int runs = script->runCalls;
    sys.playback.playState = PlayState::Suspend;
    turn();
    EXPECT_EQ(sys.playback.playState, PlayState::Wait);
    EXPECT_EQ(script->stopCalls, stops + 1);
    EXPECT_FALSE(script->running);

    // Keys handled while waiting change settings, and the wait ends with the next message.
    press('S');
    EXPECT_EQ(turn(), LoopOutcome::Continue);
    EXPECT_EQ(sys.settings.captionstyle & styleShadow, 0);

    sys.playback.playState = PlayState::Resume;
    turn();
    EXPECT_EQ(sys.playback.playState, sublumen::PlayState::Run);
    EXPECT_EQ(script->runCalls, runs + 1);
    EXPECT_TRUE(script->running);
}

TEST_F(PlayingLoop, ReInitReopensTheMovieAtTheSameTime)
{
    script->time = std::chrono::seconds(37);
    script->seeks.clear();
    press(VK_OEM_3);
    turn();
    EXPECT_EQ(sys.settings.bpp, 32);
    ASSERT_FALSE(script->seeks.empty());
    EXPECT_EQ(script->seeks.back(), std::chrono::seconds(37));
    EXPECT_EQ(sys.playback.isPlaying, 1);
    EXPECT_TRUE(script->running);
    EXPECT_EQ(sys.composition.stallLimit, 24);
    std::string text = newLog();
    EXPECT_LT(text.find(">>> ReInit... 3\n"), text.find("Play[t1/"));
    EXPECT_NE(text.find("Seek=37000\n"), std::string::npos) << text;
}

// A rebuild reopens the movie where it was: one seek, no resume from the memory and no write of it, the
// user's shift kept. A paused window sleeps again once the picture is shown in the new mode.
TEST_F(PlayingLoop, ReInitKeepsAPausedMoviePausedWithOneSeekAndNoMemoryWrite)
{
    script->time = std::chrono::seconds(40);  // a position the memory would resume
    press('J');
    press(VK_SPACE);
    turn();
    ASSERT_EQ(sys.playback.isPlaying, 0);
    ASSERT_EQ(sys.playback.playState, PlayState::Wait);
    const int32_t shift = sys.movie.currentItem.timeshift;
    ASSERT_NE(shift, 0);
    script->seeks.clear();
    sys.playback.reinitRequest = 1;
    ASSERT_EQ(ReInit(sys), 0);
    EXPECT_EQ(sys.playback.isPlaying, 0);
    EXPECT_FALSE(script->running);
    EXPECT_EQ(sys.playback.playState, PlayState::Wait);
    EXPECT_EQ(script->seeks, std::vector<platform::MediaTime>({ std::chrono::seconds(40) }));
    EXPECT_EQ(sys.movie.currentItem.timeshift, shift);
    EXPECT_FALSE(std::filesystem::exists(dir.file("state/sublumen/movies")));

    script->deliveries.push_back({ platform::FrameOutcome::Delivered, std::chrono::seconds(40),
        std::chrono::milliseconds(40040) });
    turn();
    EXPECT_TRUE(script->deliveries.empty()) << "no frame was composed in the new mode";
    EXPECT_FALSE(pictureAwaited(sys));
    EXPECT_EQ(sys.playback.playState, PlayState::Wait);

    // The movie's end writes what was held through the rebuild.
    closeMovieStream(sys);
    const std::string memory = readFile(dir.file("state/sublumen/movies"));
    EXPECT_NE(memory.find("\n" + std::to_string(shift) + "\t"), std::string::npos) << memory;
}

TEST_F(PlayingLoop, TheScreenStaysAwakeOnlyWhileAMoviePlays)
{
    turn();
    EXPECT_TRUE(platform::screenKeptAwake());
    press(VK_SPACE);
    turn();
    ASSERT_EQ(sys.playback.isPlaying, 0);
    EXPECT_FALSE(platform::screenKeptAwake());
    press(VK_SPACE);
    turn();
    EXPECT_TRUE(platform::screenKeptAwake());
}

// Paused in a window the loop sleeps between messages, yet what the user asks for is seen at once.
TEST_F(PlayingLoop, AStepWhilePausedInAWindowTakesItsTurnAtOnce)
{
    press(VK_SPACE);
    turn();
    ASSERT_EQ(sys.playback.playState, PlayState::Wait);
    ASSERT_EQ(sys.playback.isPlaying, 0);
    // Two presses before the turn add up: the third movie, and nothing unseen later.
    press(VK_OEM_PERIOD);
    press(VK_OEM_PERIOD);
    turn();
    std::string text = newLog();
    EXPECT_EQ(countOf(text, "Play["), 1u) << text;
    EXPECT_NE(text.find("Play[t3/"), std::string::npos) << text;
    EXPECT_EQ(sys.playback.movieStep, 0);
    EXPECT_EQ(sys.playback.isPlaying, 1);
    EXPECT_EQ(sys.playback.playState, PlayState::Run);
    EXPECT_TRUE(script->running);
}

TEST_F(PlayingLoop, ASeekWhilePausedInAWindowShowsThePictureThere)
{
    press(VK_SPACE);
    turn();
    ASSERT_EQ(sys.playback.playState, PlayState::Wait);
    platform::PixelView& screen = *sys.displays.backSurface()->surface->pixels();
    const VideoPlacement& p = sys.videoPlacement;
    const int x = p.dstX + p.dstWidth / 2, y = p.dstY + p.dstHeight / 2;
    // The scripted engine paints its pictures in bytes of 0x5A.
    platform::Surface probe(1, 1, screen.format);
    std::fill(probe.pixels.begin(), probe.pixels.end(), static_cast<uint8_t>(0x5A));
    int pr, pg, pb, r, g, b;
    platform::readRgb(probe, 0, 0, pr, pg, pb);
    platform::readRgb(screen, x, y, r, g, b);
    ASSERT_FALSE(r == pr && g == pg && b == pb) << "no picture was delivered before the seek";

    script->deliveries.push_back({ platform::FrameOutcome::Delivered, std::chrono::seconds(6),
        std::chrono::milliseconds(6040) });
    press(VK_RIGHT);
    turn();
    EXPECT_NE(newLog().find("Seek=6000\n"), std::string::npos);
    EXPECT_TRUE(script->deliveries.empty()) << "the picture at the new place was not taken";
    platform::readRgb(screen, x, y, r, g, b);
    EXPECT_TRUE(r == pr && g == pg && b == pb) << r << "," << g << "," << b;
    // Still paused, and asleep again: the picture is shown once.
    EXPECT_EQ(sys.playback.playState, PlayState::Wait);
    EXPECT_FALSE(script->running);
    EXPECT_FALSE(pictureAwaited(sys));
}

// Files dropped on the window, delivered as the window layer receives a drop.
class DroppedFiles : public RunningPlayer {
protected:
    void SetUp() override
    {
        RunningPlayer::SetUp();
        playScripted();
        setting("asksmi dword 0");
        start(0, 3);
    }
};

TEST_F(DroppedFiles, ACaptionLoadsForTheMovieAndAMovieStartsAsTheStartPath)
{
    // A caption file alone becomes the current movie's caption, as the caption question would make it.
    const std::string caption = dir.write("mine.smi", "<SAMI><BODY>\n<SYNC Start=0><P>dropped\n</BODY></SAMI>\n");
    ASSERT_TRUE(platform::injectDrop(sys.window.mainWindow, { caption.c_str() }));
    turn();
    std::string text = newLog();
    EXPECT_NE(text.find("DropFile=" + caption + "\nLoad SAMI Caption : " + caption + "\n"), std::string::npos) << text;
    EXPECT_STREQ(sys.movie.currentItem.caption, caption.c_str());
    EXPECT_NE(sys.movie.currentCaption, nullptr);
    EXPECT_STREQ(sys.movie.movieList->cursorItem()->caption, caption.c_str());
    const std::string subRip = dir.write("mine.ko.SRT", "1\n00:00:00,000 --> 00:00:09,000\ndropped\n");
    ASSERT_TRUE(platform::injectDrop(sys.window.mainWindow, { subRip.c_str() }));
    turn();
    EXPECT_STREQ(sys.movie.currentItem.caption, subRip.c_str());

    // Several at once: the first movie starts as if it were the start path; the others are named and ignored.
    const std::string other = dir.write("other movie.avi", "scripted");
    const std::string listed = dir.file("movie2.avi");
    logMark = log().size();
    ASSERT_TRUE(platform::injectDrop(sys.window.mainWindow, { caption.c_str(), other.c_str(), listed.c_str() }));
    turn();
    text = newLog();
    EXPECT_NE(text.find("DropFile ignored:" + caption + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("DropFile ignored:" + listed + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Play[/" + other + "//0]\n"), std::string::npos) << text;
    EXPECT_EQ(script->openedPath, other);
    EXPECT_STREQ(sys.startup.startPath, other.c_str());
    EXPECT_EQ(sys.playback.isPlaying, 1);
    EXPECT_EQ(sys.movie.movieList->stepForward(), nullptr);
}

TEST_F(DroppedFiles, AMovieDroppedOnAPausedWindowPlaysWithItsPictures)
{
    press(VK_SPACE);
    turn();
    ASSERT_EQ(sys.playback.playState, PlayState::Wait);
    const std::string other = dir.write("other movie.avi", "scripted");
    ASSERT_TRUE(platform::injectDrop(sys.window.mainWindow, { other.c_str() }));
    script->deliveries.push_back({ platform::FrameOutcome::Delivered });
    turn();
    EXPECT_EQ(script->openedPath, other);
    EXPECT_EQ(sys.playback.isPlaying, 1);
    EXPECT_EQ(sys.playback.playState, PlayState::Run);
    EXPECT_TRUE(script->running);
    // The next turn composes the new movie's frame.
    turn();
    EXPECT_TRUE(script->deliveries.empty());
}

// Study mode and the A-B loop on a scripted clock that the test moves by 33 ms a frame.
class StudyLoop : public RunningPlayer {
protected:
    void SetUp() override
    {
        RunningPlayer::SetUp();
        playScripted();
        script->afterDeliveries = {platform::FrameOutcome::Delivered};
        setting("asksmi dword 0");
        // The status bar's notices last three calendar seconds: the clock stands still here.
        platform::setCalendarClock([] { return 1000u; });
        dir.write("movie1.smi", "<SAMI><BODY>\n<SYNC Start=1000><P>one\n<SYNC Start=3000><P>&nbsp;\n"
                                "<SYNC Start=4000><P>two\n<SYNC Start=6000><P>three\n<SYNC Start=8000><P>&nbsp;\n"
                                "</BODY></SAMI>\n");
        start(0, 2);
        ASSERT_NE(sys.movie.currentCaption, nullptr);
    }
    uint32_t now() { return sys.movie.currentStream->currentTime(); }
    // Turns with the clock moving a frame each, until the movie pauses or the clock reaches limit.
    uint32_t playUntilPaused(uint32_t limit)
    {
        while (script->running && now() < limit) {
            script->time += frame;
            turn();
        }
        return now();
    }
    static constexpr std::chrono::milliseconds frame { 33 };
};

TEST_F(StudyLoop, StudyModePausesOnTheLastFrameOfEachCaption)
{
    press('K');  // captions one second late: they end 1000 ms earlier in movie time
    press('Z');
    turn();
    EXPECT_NE(newLog().find("Study mode on.\n"), std::string::npos);
    EXPECT_EQ(studyStatusText(sys), "자막마다 멈춤");

    // "one" is cleared at caption time 3000: the movie stops within the frame before.
    uint32_t paused = playUntilPaused(10000);
    ASSERT_FALSE(script->running);
    EXPECT_EQ(sys.playback.isPlaying, 0);
    EXPECT_EQ(sys.playback.playState, PlayState::Wait) << "the pause of Space, in a window";
    EXPECT_LT(paused + 1000, 3000u);
    EXPECT_GE(paused + 1000 + frame.count(), 3000u);
    // Space goes on, and the frame at the same place does not stop it again.
    press(VK_SPACE);
    turn();
    EXPECT_TRUE(script->running);
    EXPECT_EQ(sys.playback.isPlaying, 1);

    // "two" is replaced by "three" at 6000.
    paused = playUntilPaused(10000);
    ASSERT_FALSE(script->running);
    EXPECT_LT(paused + 1000, 6000u);
    EXPECT_GE(paused + 1000 + frame.count(), 6000u);

    // Ctrl+Up loops "two" (movie time 3000 to 5000) and plays it again; its end no longer pauses.
    PostMessageA(sys.window.mainWindow, WM_KEYDOWN, VK_CONTROL, 1);
    press(VK_UP);
    turn();
    PostMessageA(sys.window.mainWindow, WM_KEYUP, VK_CONTROL, 1);
    EXPECT_NE(newLog().find("Loop A=3000 B=5000\nSeek=3000\n"), std::string::npos) << newLog();
    EXPECT_TRUE(script->running);
    script->seeks.clear();
    for (int i = 0; i < 130; ++i) {
        script->time += frame;
        turn();
        ASSERT_TRUE(script->running) << "paused at " << now();
        ASSERT_GE(now(), 3000u);
        ASSERT_LT(now(), 5000u);
    }
    EXPECT_GE(script->seeks.size(), 2u) << "the loop went round";
    // Without the loop, the line plays to its end and pauses there again.
    press(VK_F2);
    turn();
    EXPECT_EQ(noticeText(sys), "구간 반복 해제");
    paused = playUntilPaused(10000);
    ASSERT_FALSE(script->running);
    EXPECT_GE(paused + 1000 + frame.count(), 6000u);
    EXPECT_LT(paused + 1000, 6000u);

    // A movie without captions: study mode stays on, does nothing and says so once.
    press(VK_OEM_PERIOD);
    turn();
    ASSERT_NE(sys.movie.currentStream, nullptr);
    EXPECT_STREQ(sys.movie.currentItem.title, "t2");
    playUntilPaused(12000);
    EXPECT_TRUE(script->running);
    EXPECT_EQ(countOf(newLog(), "Study mode: no captions.\n"), 1u) << newLog();
    EXPECT_EQ(studyStatusText(sys), "자막마다 멈춤");
    EXPECT_EQ(noticeText(sys), "자막이 없어 멈출 곳 없음");
}

TEST_F(StudyLoop, ABLoopKeepsTheTimeBetweenItsEnds)
{
    using std::chrono::milliseconds;
    script->time = milliseconds(5000);
    press(VK_F2);
    turn();
    // Twice at the same place: refused, A kept.
    press(VK_F2);
    turn();
    EXPECT_EQ(noticeText(sys), "B가 A와 같음: B를 다시 지정");
    // B before A: the two change places.
    script->time = milliseconds(2000);
    press(VK_F2);
    turn();
    EXPECT_NE(newLog().find("Loop A=5000\n"), std::string::npos) << newLog();
    EXPECT_NE(newLog().find("Loop B at A refused: A=5000 B=5000\n"), std::string::npos) << newLog();
    EXPECT_NE(newLog().find("Loop A and B swapped.\nLoop A=2000 B=5000\n"), std::string::npos) << newLog();
    EXPECT_EQ(noticeText(sys), "구간 반복 00:02.0~00:05.0");
    for (int i = 0; i < 300; ++i) {
        script->time += frame;
        turn();
        ASSERT_GE(now(), 2000u);
        ASSERT_LT(now(), 5000u);
    }
    EXPECT_GE(countOf(newLog(), "Seek=2000\n"), 3u) << "the loop went round";
    press(VK_F2);
    turn();
    EXPECT_NE(newLog().find("Loop cleared.\n"), std::string::npos);

    // B past the end is the end, and the end of the stream goes back to A instead of to the next movie.
    script->time = milliseconds(119000);
    press(VK_F2);
    turn();
    script->time = milliseconds(125000);
    press(VK_F2);
    turn();
    EXPECT_NE(newLog().find("Loop B=125000 beyond the end, B=120000\nLoop A=119000 B=120000\n"), std::string::npos)
        << newLog();
    script->time = milliseconds(119500);
    script->deliveries.push_back({ platform::FrameOutcome::EndOfStream });
    turn();
    EXPECT_STREQ(sys.movie.currentItem.title, "t1");
    EXPECT_EQ(now(), 119000u);
    EXPECT_TRUE(script->running);
    EXPECT_EQ(sys.movie.currentStream->ended, 0);
}

uint32_t fakeNow = 0;
uint32_t fakeClock() { return fakeNow; }

TEST(ClockTick, MovesTheCountOnceASecond)
{
    platform::setCalendarClock(fakeClock);
    System sys;
    fakeNow = 500;
    sys.playback.framesThisSecond = 7;
    EXPECT_EQ(clockTick(sys), 500u);
    EXPECT_EQ(sys.playback.framesPerSecond, 7u);
    EXPECT_EQ(sys.playback.framesThisSecond, 0u);
    sys.playback.framesThisSecond = 3;
    EXPECT_EQ(clockTick(sys), 500u);
    EXPECT_EQ(sys.playback.framesPerSecond, 7u) << "same second";
    EXPECT_EQ(sys.playback.framesThisSecond, 3u);
    fakeNow = 501;
    clockTick(sys);
    EXPECT_EQ(sys.playback.framesPerSecond, 3u);
    EXPECT_EQ(sys.playback.framesThisSecond, 0u);
    platform::setCalendarClock(nullptr);
}

}
