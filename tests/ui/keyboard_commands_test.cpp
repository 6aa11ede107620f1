#include "app/system.h"
#include "caption/caption.h"
#include "caption/caption_sync.h"
#include "display/frame_composition.h"
#include "media/caption_copy.h"
#include "media/media_stream.h"
#include "media/movie_session.h"
#include "media/movie_start.h"
#include "media/playback_speed.h"
#include "media/transcript_panel.h"
#include "platform/audio_volume.h"
#include "platform/gdi/gdi.h"
#include "support/log_capture.h"
#include "support/running_player.h"
#include "ui/commands.h"
#include "ui/keyboard_commands.h"
#include "ui/main_window.h"
#include "ui/volume.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

using namespace sublumen;
using namespace testing_support;

namespace {

// Keys that only change settings and flags, on a system with no window and no movie.
class Keys : public ::testing::Test {
protected:
    void SetUp() override { drainMessages(); }
    void TearDown() override
    {
        if (sys.startup.captionFont)
            DeleteObject(sys.startup.captionFont);
        drainMessages();
        waveOutSetVolume(nullptr, 0xFFFFFFFF);
    }
    void press(int key, int times = 1)
    {
        for (int i = 0; i < times; ++i)
            EXPECT_EQ(onKeyDown(sys, key), 0);
    }

    ScratchDir dir;
    LogCapture log { dir };
    System sys;
};

TEST_F(Keys, EveryKeyDownIsLoggedWithItsCode)
{
    press('Y');
    press(VK_F10);
    press(VK_OEM_COMMA);
    EXPECT_EQ(log.text(), "KeyDown=0x59\nKeyDown=0x79\nKeyDown=0xBC\n");
    EXPECT_EQ(sys.playback.movieStep, -1);
}

TEST_F(Keys, FontSizeStaysWithinOneTo500AndTheFontIsRemade)
{
    sys.settings.fontsize = 1;
    press('D');
    EXPECT_EQ(sys.settings.fontsize, 1);
    HFONT first = sys.startup.captionFont;
    EXPECT_NE(first, nullptr);
    sys.settings.fontsize = 500;
    press('F');
    EXPECT_EQ(sys.settings.fontsize, 500);
    EXPECT_NE(sys.startup.captionFont, nullptr);
    // Values from a damaged settings file come back into range without overflowing.
    sys.settings.fontsize = INT_MIN;
    press('D');
    EXPECT_EQ(sys.settings.fontsize, 1);
    sys.settings.fontsize = INT_MAX;
    press('F');
    EXPECT_EQ(sys.settings.fontsize, 500);
    sys.settings.fontsize = 30;
    press('D');
    EXPECT_EQ(sys.settings.fontsize, 29);
    press('F', 2);
    EXPECT_EQ(sys.settings.fontsize, 31);
}

TEST_F(Keys, FaceCyclesThroughTheFourFaces)
{
    sys.settings.fontface = 2;
    press('G');
    EXPECT_EQ(sys.settings.fontface, 3);
    press('G');
    EXPECT_EQ(sys.settings.fontface, 0);
    EXPECT_NE(sys.startup.captionFont, nullptr);
}

struct ResolutionCase {
    int key;
    int32_t bppBefore;
    int32_t screenx, screeny, bpp;
};

class ResolutionKeys : public Keys, public ::testing::WithParamInterface<ResolutionCase> { };

TEST_P(ResolutionKeys, SetTheTableSizeAndAskForReInit)
{
    const ResolutionCase& c = GetParam();
    sys.settings.bpp = c.bppBefore;
    press(c.key);
    EXPECT_EQ(sys.settings.screenx, c.screenx);
    EXPECT_EQ(sys.settings.screeny, c.screeny);
    EXPECT_EQ(sys.settings.bpp, c.bpp);
    EXPECT_EQ(sys.playback.reinitRequest, 1);
}

INSTANTIATE_TEST_SUITE_P(Table, ResolutionKeys,
    ::testing::Values(ResolutionCase { '1', 32, 320, 240, 16 }, ResolutionCase { '2', 32, 640, 480, 32 },
        ResolutionCase { '3', 16, 800, 600, 16 }, ResolutionCase { '4', 32, 1024, 768, 32 },
        ResolutionCase { '5', 16, 1280, 960, 16 }, ResolutionCase { '6', 16, 1600, 1200, 16 },
        ResolutionCase { '7', 32, 1920, 1440, 32 }, ResolutionCase { '8', 16, 2048, 1536, 16 },
        // The desktop of the offscreen display the tests run on, always at 32 bits.
        ResolutionCase { '9', 16, 1024, 768, 32 },
        ResolutionCase { VK_OEM_3, 16, 640, 480, 32 }, ResolutionCase { VK_OEM_3, 32, 640, 480, 16 },
        ResolutionCase { VK_OEM_3, 24, 640, 480, 16 }));

TEST_F(Keys, OtherDigitsGive640By480)
{
    for (int digit : { 0, 9, -1 }) {
        sys.settings.screenx = 1;
        sys.settings.screeny = 1;
        sys.settings.bpp = 32;
        selectResolution(sys, digit);
        EXPECT_EQ(sys.settings.screenx, 640);
        EXPECT_EQ(sys.settings.screeny, 480);
        EXPECT_EQ(sys.settings.bpp, 32);
    }
    press('0');
    EXPECT_EQ(sys.playback.reinitRequest, 0);
}

// Toggles: some are "1 minus the value", others "1 when 0, else 0"; they differ on stored values
// other than 0 and 1.
struct ToggleCase {
    int key;
    int32_t Settings::*field;
    int32_t before;
    int32_t after;
};

class Toggles : public Keys, public ::testing::WithParamInterface<ToggleCase> { };

TEST_P(Toggles, FollowTheirRule)
{
    const ToggleCase& c = GetParam();
    sys.settings.*c.field = c.before;
    press(c.key);
    EXPECT_EQ(sys.settings.*c.field, c.after);
}

INSTANTIATE_TEST_SUITE_P(Rules, Toggles,
    ::testing::Values(ToggleCase { 'B', &Settings::seekbar, 5, -4 }, ToggleCase { 'B', &Settings::seekbar, 0, 1 },
        ToggleCase { 'C', &Settings::iscaption, 1, 0 }, ToggleCase { 'C', &Settings::iscaption, 3, -2 },
        ToggleCase { 'X', &Settings::asksmi, 1, 0 }, ToggleCase { VK_F1, &Settings::help, 0, 1 },
        ToggleCase { VK_F1, &Settings::help, INT_MIN, INT_MIN + 1 },
        ToggleCase { 'Q', &Settings::quickskip, 5, 0 }, ToggleCase { 'Q', &Settings::quickskip, 0, 1 },
        ToggleCase { 'E', &Settings::isending, -1, 0 }, ToggleCase { 'E', &Settings::isending, 0, 1 },
        ToggleCase { 'T', &Settings::alwaystop, 7, 0 }, ToggleCase { 'T', &Settings::alwaystop, 0, 1 },
        ToggleCase { VK_UP, &Settings::fontposy, 100, 102 }, ToggleCase { VK_DOWN, &Settings::fontposy, 1, -1 },
        ToggleCase { VK_UP, &Settings::fontposy, INT_MAX, INT_MIN + 1 },
        ToggleCase { 'M', &Settings::fitmode, 2, 3 }, ToggleCase { 'M', &Settings::fitmode, 3, 0 },
        ToggleCase { 'M', &Settings::fitmode, 5, 0 }, ToggleCase { 'M', &Settings::fitmode, -1, 0 }));

TEST_F(Keys, HelpColourReturnsToWhiteAfterFivePresses)
{
    const int32_t cycle[] = { 0xFF0000, 0x00FF00, 0x0000FF, 0, 0xFFFFFF };
    for (int32_t expected : cycle) {
        press('H');
        EXPECT_EQ(sys.settings.helpcolor, expected);
    }
    sys.settings.helpcolor = 0x123456;
    press('H');
    EXPECT_EQ(sys.settings.helpcolor, 0x1234);
}

TEST_F(Keys, CaptionStyleCycles)
{
    int32_t& style = sys.settings.captionstyle;
    style = 0;
    // Placement: fixed, automatic, semi-automatic, fixed.
    press('A');
    EXPECT_EQ(style, styleAutoPlace);
    press('A');
    EXPECT_EQ(style, styleSemiAutoPlace);
    press('A');
    EXPECT_EQ(style, 0);
    // Outline: none, outline, thick outline, none.
    press('O');
    EXPECT_EQ(style, styleOutline);
    press('O');
    EXPECT_EQ(style, styleOutline | styleThickOutline);
    press('O');
    EXPECT_EQ(style, 0);
    // A thick-outline bit alone clears to none as well.
    style = styleThickOutline | styleShadow;
    press('O');
    EXPECT_EQ(style, styleShadow);
    press('S');
    press('R');
    EXPECT_EQ(style, styleReverse);
    press('R');
    EXPECT_EQ(style, 0);
}

TEST_F(Keys, TimeShiftAndPictureFlags)
{
    sys.movie.currentItem.timeshift = 0;
    press('I');
    press('J');
    press('K', 3);
    press('U');
    EXPECT_EQ(sys.movie.currentItem.timeshift, 10000 - 1000 + 3000 - 10000);
    press('L');
    press('P');
    EXPECT_EQ(sys.commands.pictureFlags, EnhanceImage | FlipVertical);
    press('L');
    EXPECT_EQ(sys.commands.pictureFlags, FlipVertical);
}

// The speed steps by exact tenths (ten steps up from 1.0 are 2.0, not 1.9999…), stops at its ends and
// shows in the status line only while it is not normal.
TEST_F(Keys, SpeedStepsByTenthsBetweenHalfAndDoubleAndBackspaceMakesItNormal)
{
    EXPECT_EQ(statusNoticeText(sys), "");
    press(VK_OEM_6, 10);
    EXPECT_EQ(sys.playback.speed, 2.0);
    press(VK_OEM_6);
    EXPECT_EQ(sys.playback.speed, 2.0);
    EXPECT_EQ(statusNoticeText(sys), "재생 속도:2.0x");
    press(VK_OEM_4, 15);
    EXPECT_EQ(sys.playback.speed, 0.5);
    press(VK_OEM_4);
    EXPECT_EQ(sys.playback.speed, 0.5);
    press(VK_OEM_6, 2);
    EXPECT_EQ(statusNoticeText(sys), "재생 속도:0.7x");
    press(VK_BACK);
    EXPECT_EQ(sys.playback.speed, 1.0);
    EXPECT_EQ(statusNoticeText(sys), "");
    // A speed asked for from outside (the desktop's rate) is taken to the nearest end, however far off.
    for (double far : { 3e9, 1e10, 1e308 })
        EXPECT_EQ(setPlaybackSpeed(sys, far), 2.0) << far;
    EXPECT_EQ(setPlaybackSpeed(sys, -1e300), 0.5);
}

TEST_F(Keys, ListStepsAddUp)
{
    press(VK_OEM_PERIOD, 3);
    press(VK_OEM_COMMA);
    EXPECT_EQ(sys.playback.movieStep, 2);
}

TEST_F(Keys, EscapeAsksTheLoopToEnd)
{
    press(VK_ESCAPE);
    MSG msg {};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
}

// F3's panel is a mode: while it is open its keys and every key that types are its own, and the lines
// it lists carry the second caption's line shown at the same time; closed, the keys are the player's.
TEST_F(Keys, TheTranscriptPanelTakesItsKeysOnlyWhileOpen)
{
    Caption* first = openMovieCaption(sys, nullptr);
    for (auto [start, text] : { std::pair { 1000u, "고양이가 창문을 본다" }, { 4000u, " " }, { 5000u, "같이 가자" },
             { 30000u, "정말 괜찮아?" }, { endMarker, "" } })
        first->addEntry(start, text);
    sys.movie.secondCaption.reset(new Caption(nullptr));
    for (auto [start, text] : { std::pair { 900u, "The cat" }, { 4900u, "Let's go" }, { 7000u, " " },
             { 29000u, "Before" }, { 30200u, "Are you OK?" }, { endMarker, "" } })
        sys.movie.secondCaption->addEntry(start, text);

    const int32_t style = sys.settings.captionstyle;
    const int32_t height = sys.settings.fontposy;
    press(VK_F3);
    ASSERT_TRUE(sys.transcript.open);
    ASSERT_EQ(sys.transcript.rows.size(), 3u);
    EXPECT_EQ(sys.transcript.rows[0].second, "The cat");
    EXPECT_EQ(sys.transcript.rows[1].second, "Let's go");
    EXPECT_EQ(sys.transcript.rows[2].second, "Are you OK?") << "the line shown longest";

    // Typing: the key runs nothing, its text searches.
    press('A');
    press(VK_SPACE);
    for (unsigned char byte : std::string("ㄱㅊㅇ"))
        windowProcedure(sys, nullptr, WM_CHAR, byte, 1);
    EXPECT_EQ(sys.transcript.matches, (std::vector<uint32_t> { 2 }));
    press(VK_BACK);
    EXPECT_EQ(sys.transcript.matches, (std::vector<uint32_t> { 0, 2 }));
    press(VK_HOME);
    EXPECT_EQ(chosenTranscriptRow(sys), &sys.transcript.rows[0]);
    press(VK_DOWN);
    EXPECT_EQ(chosenTranscriptRow(sys), &sys.transcript.rows[2]);
    EXPECT_EQ(sys.settings.captionstyle, style);
    EXPECT_EQ(sys.settings.fontposy, height);
    EXPECT_EQ(sys.playback.isPlaying, 0);

    // Esc closes the panel and nothing else; then Esc and Up are the player's again.
    press(VK_ESCAPE);
    EXPECT_FALSE(sys.transcript.open);
    MSG msg {};
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    press(VK_UP);
    EXPECT_EQ(sys.settings.fontposy, height + 2);
    press('A');
    EXPECT_NE(sys.settings.captionstyle, style);
}

TEST_F(Keys, VolumeStepsClampAtTheEnds)
{
    struct Step {
        int32_t level;
        int key;
        int32_t expected;
    };
    for (Step s : { Step { 254, VK_ADD, 255 }, Step { 255, VK_ADD, 255 }, Step { 0, VK_SUBTRACT, 0 },
             Step { 1, VK_SUBTRACT, 0 }, Step { 100, VK_SUBTRACT, 98 } }) {
        sys.commands.volume = s.level;
        writeVolume(sys);
        press(s.key);
        EXPECT_EQ(sys.commands.volume, s.expected) << "from " << s.level;
        DWORD device = 0;
        waveOutGetVolume(nullptr, &device);
        EXPECT_EQ(device, static_cast<DWORD>(s.expected << 8) * 0x10001u);
    }
    // The step starts from the device's own level.
    waveOutSetVolume(nullptr, 0x80008000);
    sys.commands.volume = 10;
    press(VK_ADD);
    EXPECT_EQ(sys.commands.volume, 0x82);
}

TEST_F(Keys, StreamKeysWithoutAMovieDoNothing)
{
    sys.composition.stallLimit = 3;
    for (int key : { VK_SPACE, VK_PRIOR, VK_NEXT, VK_END, VK_HOME, VK_LEFT, VK_RIGHT })
        press(key);
    EXPECT_EQ(log.text().find("Seek="), std::string::npos);
    EXPECT_EQ(sys.composition.stallLimit, 3);
    EXPECT_EQ(sys.playback.isPlaying, 0);
}

// Seeks and pause on a movie that plays on the scripted media engine.
class StreamKeys : public RunningPlayer {
protected:
    void SetUp() override
    {
        RunningPlayer::SetUp();
        playScripted();
    }
    void seekFrom(std::chrono::milliseconds now, int key)
    {
        script->time = now;
        script->seeks.clear();
        sys.composition.stallCount = 9;
        sys.composition.stallLimit = 3;
        onKeyDown(sys, key);
        EXPECT_EQ(sys.composition.stallLimit, 24);
        EXPECT_EQ(sys.composition.stallCount, 0);
    }
    std::chrono::milliseconds lastSeek() const
    {
        EXPECT_EQ(script->seeks.size(), 1u);
        return script->seeks.empty() ? std::chrono::milliseconds(-1)
                                     : std::chrono::duration_cast<std::chrono::milliseconds>(script->seeks.back());
    }
};

TEST_F(StreamKeys, SeeksClampAtTheEnds)
{
    using std::chrono::milliseconds;
    start();
    ASSERT_EQ(sys.movie.movieDuration, 120000u);
    struct SeekCase {
        int key;
        milliseconds now;
        milliseconds target;
    };
    // A seek to 0 reaches the stream as 1 ms.
    for (SeekCase c : { SeekCase { VK_LEFT, milliseconds(5999), milliseconds(1) },
             SeekCase { VK_LEFT, milliseconds(6000), milliseconds(1) },
             SeekCase { VK_LEFT, milliseconds(50000), milliseconds(44000) },
             SeekCase { VK_RIGHT, milliseconds(114001), milliseconds(120000) },
             SeekCase { VK_RIGHT, milliseconds(10000), milliseconds(16000) },
             SeekCase { VK_PRIOR, milliseconds(59999), milliseconds(1) },
             SeekCase { VK_PRIOR, milliseconds(90000), milliseconds(30000) },
             SeekCase { VK_NEXT, milliseconds(60000), milliseconds(120000) },
             SeekCase { VK_NEXT, milliseconds(59999), milliseconds(119999) },
             SeekCase { VK_HOME, milliseconds(70000), milliseconds(1) },
             SeekCase { VK_END, milliseconds(70000), milliseconds(120000) } }) {
        seekFrom(c.now, c.key);
        EXPECT_EQ(lastSeek(), c.target) << "key " << c.key << " at " << c.now.count();
    }
    std::string text = newLog();
    EXPECT_NE(text.find("KeyDown=0x25\nSeek=0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("KeyDown=0x27\nSeek=120000\n"), std::string::npos) << text;
}

// Ctrl+period and Ctrl+comma step frames, only while paused, and leave the list alone; an engine with no
// picture to step to leaves the picture standing.
TEST_F(StreamKeys, CtrlPeriodAndCommaStepFramesOnlyWhilePaused)
{
    start();
    PostMessageA(sys.window.mainWindow, WM_KEYDOWN, VK_CONTROL, 1);
    turn();
    newLog();
    onKeyDown(sys, VK_OEM_PERIOD);
    EXPECT_NE(newLog().find("KeyDown=0xBE\nFrameStep : only while paused.\n"), std::string::npos) << newLog();
    onKeyDown(sys, VK_SPACE);
    sys.composition.stallPhase = StallPhase::Playing;
    onKeyDown(sys, VK_OEM_COMMA);
    EXPECT_NE(newLog().find("KeyDown=0xBC\nFrameStep=-1\nFrameStep : no picture there. Stays.\n"), std::string::npos)
        << newLog();
    EXPECT_FALSE(pictureAwaited(sys));
    EXPECT_FALSE(sys.composition.frameStepped);
    EXPECT_EQ(sys.playback.movieStep, 0);
    PostMessageA(sys.window.mainWindow, WM_KEYUP, VK_CONTROL, 1);
    turn();
}

TEST_F(StreamKeys, CtrlArrowsStepThroughTheCaptionsOfTheClassShown)
{
    using std::chrono::milliseconds;
    dir.write("movie1.smi",
        "<STYLE><!-- .KRCC { lang:ko-KR; } .ENCC { lang:en-US; } --></STYLE>"
        "<SYNC Start=10000><P Class=KRCC>\xEA\xB0\x80<SYNC Start=10012><P Class=ENCC>A"
        "<SYNC Start=12000><P Class=KRCC>&nbsp;<SYNC Start=13000><P Class=ENCC>&nbsp;"
        "<SYNC Start=20000><P Class=KRCC>\xEB\x82\x98<SYNC Start=21000><P Class=ENCC>B<SYNC Start=22000>&nbsp;");
    start();
    ASSERT_NE(sys.movie.currentCaption, nullptr);
    ASSERT_EQ(sys.movie.currentCaption->classes.size(), 2u);
    onKeyDown(sys, 'K');  // captions one second late: the caption time runs 1000 ms ahead of the stream
    PostMessageA(sys.window.mainWindow, WM_KEYDOWN, VK_CONTROL, 1);
    turn();
    struct StepCase {
        int key;
        milliseconds now;
        milliseconds target;
    };
    // Korean first: from inside a gap to the next caption, back over the one in force, and the same again.
    for (StepCase c : { StepCase { VK_RIGHT, milliseconds(15000), milliseconds(19000) },
             StepCase { VK_LEFT, milliseconds(19500), milliseconds(9000) },
             StepCase { VK_LEFT, milliseconds(15000), milliseconds(9000) },
             StepCase { VK_UP, milliseconds(20000), milliseconds(19000) } }) {
        seekFrom(c.now, c.key);
        EXPECT_EQ(lastSeek(), c.target) << "key " << c.key << " at " << c.now.count();
    }
    const int32_t fontposy = sys.settings.fontposy;
    onKeyDown(sys, 'N');
    seekFrom(milliseconds(15000), VK_RIGHT);
    EXPECT_EQ(lastSeek(), milliseconds(20000)) << "English steps over the Korean caption at 20000";
    EXPECT_EQ(sys.settings.fontposy, fontposy) << "Ctrl+Up does not move the band";
    EXPECT_NE(newLog().find("Caption:: showing class ENCC.\n"), std::string::npos);

    PostMessageA(sys.window.mainWindow, WM_KEYUP, VK_CONTROL, 1);
    turn();
    seekFrom(milliseconds(15000), VK_RIGHT);
    EXPECT_EQ(lastSeek(), milliseconds(21000)) << "plain Right keeps its six-second seek";

    // The same movie started again comes back with its shift and its language.
    ASSERT_EQ(startMovie(sys, 0), 0);
    EXPECT_EQ(sys.movie.currentItem.timeshift, 1000);
    ASSERT_NE(sys.movie.currentCaption, nullptr);
    EXPECT_EQ(sys.movie.currentCaption->shownClassName(), "ENCC");
}

TEST_F(StreamKeys, CtrlKAndJSnapTheCaptionsAndTwoSnapsFarApartSetTheRate)
{
    using std::chrono::milliseconds;
    // Captions of another cut whose clock runs at 10/11 of the movie's.
    dir.write("movie1.smi",
        "<SYNC Start=10000><P>A<SYNC Start=12000><P>&nbsp;"
        "<SYNC Start=1000000><P>B<SYNC Start=1002000><P>&nbsp;");
    script->properties.duration = std::chrono::hours(2);
    start();
    ASSERT_NE(sys.movie.currentCaption, nullptr);
    PostMessageA(sys.window.mainWindow, WM_KEYDOWN, VK_CONTROL, 1);
    turn();
    auto snapAt = [&](milliseconds now, int key) {
        script->time = now;
        onKeyDown(sys, key);
    };
    snapAt(milliseconds(9000), 'K');
    EXPECT_EQ(sys.movie.currentItem.timeshift, 1000) << "A starts now";
    snapAt(milliseconds(11000), 'J');
    EXPECT_EQ(sys.movie.currentItem.timeshift, -1000) << "A, just shown, starts now instead";
    EXPECT_EQ(sys.movie.captionRate, 1.0) << "two seconds apart: the second snap replaces the first";
    snapAt(milliseconds(1100000), 'J');
    EXPECT_EQ(sys.movie.currentItem.timeshift, 0);
    EXPECT_NEAR(sys.movie.captionRate, 10.0 / 11.0, 1e-9);
    EXPECT_EQ(captionTime(11000, sys.movie.currentItem.timeshift, sys.movie.captionRate), 10000u);
    snapAt(milliseconds(1110000), 'K');
    EXPECT_NEAR(sys.movie.captionRate, 10.0 / 11.0, 1e-9) << "no caption after B: nothing changes";
    EXPECT_EQ(sys.movie.currentItem.timeshift, 0);
    std::string text = newLog();
    EXPECT_NE(text.find("Caption sync: snap under 5 minutes from the last one replaces it.\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Caption sync: last caption at 1000000 ms starts at 1100000 ms: shift 0, rate 0.90909.\n"),
        std::string::npos) << text;
    EXPECT_NE(text.find("Caption sync: no next caption at 1009091 ms; nothing changed.\n"), std::string::npos) << text;
    // Ctrl+Right lands where B starts under the rate.
    seekFrom(milliseconds(20000), VK_RIGHT);
    EXPECT_EQ(lastSeek(), milliseconds(1100000));

    // Shift and rate come back with the movie; Ctrl+0 takes both away, for good.
    ASSERT_EQ(startMovie(sys, 0), 0);
    EXPECT_EQ(sys.movie.currentItem.timeshift, 0);
    EXPECT_NEAR(sys.movie.captionRate, 10.0 / 11.0, 1e-9);
    onKeyDown(sys, 'I');
    onKeyDown(sys, '0');
    EXPECT_EQ(sys.movie.currentItem.timeshift, 0);
    EXPECT_EQ(sys.movie.captionRate, 1.0);
    ASSERT_EQ(startMovie(sys, 0), 0);
    EXPECT_EQ(sys.movie.captionRate, 1.0);
    PostMessageA(sys.window.mainWindow, WM_KEYUP, VK_CONTROL, 1);
    turn();
    onKeyDown(sys, 'K');
    onKeyDown(sys, '0');
    EXPECT_EQ(sys.movie.currentItem.timeshift, 1000) << "K alone and 0 alone keep their old meaning";

    // A rate no snap could have set is not applied.
    closeMovie(sys);
    dir.write("state/sublumen/movies",
        "# sublumen movies 1\n0\t\trate=3\t" + std::filesystem::absolute(dir.file("movie1.avi")).string() + "\n");
    ASSERT_EQ(startMovie(sys, 0), 0);
    EXPECT_EQ(sys.movie.captionRate, 1.0);
    EXPECT_NE(newLog().find("Movie memory: caption rate 3 refused.\n"), std::string::npos);

    // The pieces of the automatic sync come back with the movie, and a line without them reads as before;
    // pieces out of order are not applied.
    const std::string moviePath = std::filesystem::absolute(dir.file("movie1.avi")).string();
    for (const auto& [line, pieces] : { std::pair { "-4000\t\tpieces=600000:60000,900000:-30000\t", SyncPieces { { 600000, 60000 }, { 900000, -30000 } } },
             std::pair { "-4000\t\t", SyncPieces {} }, std::pair { "-4000\t\tpieces=9:1,8:1\t", SyncPieces {} } }) {
        closeMovie(sys);
        dir.write("state/sublumen/movies", "# sublumen movies 1\n" + std::string(line) + moviePath + "\n");
        ASSERT_EQ(startMovie(sys, 0), 0);
        EXPECT_EQ(sys.movie.currentItem.timeshift, -4000) << line;
        EXPECT_EQ(sys.movie.syncPieces, pieces) << line;
    }
    EXPECT_NE(newLog().find("Movie memory: caption sync pieces 9:1,8:1 refused.\n"), std::string::npos);
}

TEST_F(StreamKeys, UnderTheSyncsPiecesTheCopyAndTheTranscriptGoByTheCaptionShown)
{
    using std::chrono::milliseconds;
    // From 60 s on the captions run 30 s ahead: B, at 95 s of the captions, is shown at 65 s of the movie.
    dir.write("movie1.smi", "<SYNC Start=10000><P>A<SYNC Start=12000><P>&nbsp;"
                            "<SYNC Start=95000><P>B<SYNC Start=97000><P>&nbsp;");
    start();
    closeMovie(sys);
    dir.write("state/sublumen/movies", "# sublumen movies 1\n0\t\tpieces=60000:30000\t"
            + std::filesystem::absolute(dir.file("movie1.avi")).string() + "\n");
    ASSERT_EQ(startMovie(sys, 0), 0);
    ASSERT_EQ(sys.movie.syncPieces, (SyncPieces { { 60000, 30000 } }));
    script->time = milliseconds(66000);
    EXPECT_EQ(captionToCopy(sys), "B");
    onKeyDown(sys, VK_F3);
    ASSERT_TRUE(sys.transcript.open);
    ASSERT_NE(chosenTranscriptRow(sys), nullptr);
    EXPECT_EQ(chosenTranscriptRow(sys)->text, "B") << "the panel follows the caption shown";
    seekFrom(milliseconds(66000), VK_RETURN);
    EXPECT_EQ(lastSeek(), milliseconds(65000));
}

TEST_F(StreamKeys, SpacePausesAndRunsInAWindow)
{
    start(0);
    ASSERT_TRUE(script->running);
    sys.composition.stallLimit = 3;
    onKeyDown(sys, VK_SPACE);
    EXPECT_EQ(sys.playback.isPlaying, 0);
    EXPECT_FALSE(script->running);
    EXPECT_EQ(sys.playback.playState, PlayState::Wait);
    EXPECT_EQ(sys.composition.stallLimit, 24);
    onKeyDown(sys, VK_SPACE);
    EXPECT_EQ(sys.playback.isPlaying, 1);
    EXPECT_TRUE(script->running);
    EXPECT_EQ(sys.playback.playState, sublumen::PlayState::Run);
}

TEST_F(StreamKeys, SpaceInFullScreenKeepsComposingFrames)
{
    platform::setDisplayDriver(std::make_unique<platform::ScriptedDisplayDriver>());
    start(1);
    onKeyDown(sys, VK_SPACE);
    EXPECT_EQ(sys.playback.isPlaying, 0);
    EXPECT_FALSE(script->running);
    EXPECT_EQ(sys.playback.playState, sublumen::PlayState::Run);
}

TEST(SpaceKey, OnAMovieThatDidNotOpenLeavesItStopped)
{
    ScratchDir dir;
    LogCapture log(dir);
    System sys;
    openMovieStream(sys, dir.file("missing.avi").c_str());
    ASSERT_EQ(sys.movie.currentStream->stream, nullptr);
    sys.settings.fullscreen = 0;
    onKeyDown(sys, VK_SPACE);
    // Not 2: the loop would otherwise turn without rest on a movie that is not there.
    EXPECT_EQ(sys.playback.isPlaying, 0);
    closeMovieStream(sys);
}

}

// Shift+J and Shift+K move the second caption's own shift while one is shown, and are J and K otherwise.
TEST_F(StreamKeys, ShiftJAndKMoveTheSecondCaptionOnly)
{
    start();
    const int32_t shift = sys.movie.currentItem.timeshift;
    PostMessageA(sys.window.mainWindow, WM_KEYDOWN, VK_SHIFT, 1);
    turn();
    onKeyDown(sys, 'J');
    EXPECT_EQ(sys.movie.currentItem.timeshift, shift - 1000);
    openSecondCaption(sys, nullptr);
    onKeyDown(sys, 'K');
    onKeyDown(sys, 'K');
    onKeyDown(sys, 'J');
    EXPECT_EQ(sys.movie.secondShift, 1000);
    EXPECT_EQ(sys.movie.memoryFields["caption2_shift"], "1000");
    PostMessageA(sys.window.mainWindow, WM_KEYUP, VK_SHIFT, 1);
    turn();
    onKeyDown(sys, 'K');
    EXPECT_EQ(sys.movie.currentItem.timeshift, shift);
    EXPECT_EQ(sys.movie.secondShift, 1000);
}
