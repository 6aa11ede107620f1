#include "app/system.h"
#include "media/media_stream.h"
#include "media/movie_session.h"
#include "platform/kernel.h"
#include "support/input_injection.h"
#include "support/log_capture.h"
#include "support/test_window.h"
#include "ui/main_window.h"

#include <gtest/gtest.h>

using namespace sublumen;
using namespace testing_support;

namespace {

uint32_t fakeNow = 1000;
uint32_t fakeClock() { return fakeNow; }

// The cursor's display count, read without changing it.
int cursorCount()
{
    int count = ShowCursor(TRUE) - 1;
    ShowCursor(FALSE);
    return count;
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        drainMessages();
        platform::setCalendarClock(fakeClock);
        fakeNow = 1000;
        baseCursor = cursorCount();
    }
    void TearDown() override
    {
        if (sys.window.mainWindow)
            DestroyWindow(sys.window.mainWindow);
        closeMovieStream(sys);
        drainMessages();
        platform::setCalendarClock(nullptr);
        // Each test leaves the cursor count as it found it.
        while (cursorCount() < baseCursor)
            ShowCursor(TRUE);
    }
    HWND open(int fullscreen, int width = 640, int height = 480)
    {
        sys.settings.fullscreen = fullscreen;
        sys.settings.screenx = width;
        sys.settings.screeny = height;
        sys.window.lastMouseTime = calendarSeconds();
        EXPECT_EQ(initWindow(sys), 0);
        return sys.window.mainWindow;
    }
    LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return windowProcedure(sys, sys.window.mainWindow, message, wParam, lParam);
    }

    ScratchDir dir;
    LogCapture log { dir };
    System sys;
    int baseCursor = 0;
};

TEST_F(MainWindow, StartsHiddenWithTheChosenClientAreaAndStyle)
{
    HWND window = open(0, 800, 600);
    ASSERT_NE(window, nullptr);
    RECT client {};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
    auto style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    EXPECT_EQ(style & WS_VISIBLE, 0u);
    EXPECT_EQ(style, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    // Centred on the desktop.
    RECT desktop {}, frame {};
    GetClientRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.left, (desktop.right - (frame.right - frame.left)) / 2);
    EXPECT_EQ(frame.top, (desktop.bottom - (frame.bottom - frame.top)) / 2);
    DestroyWindow(window);

    window = open(1);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), WS_POPUP);
}

TEST_F(MainWindow, FullScreenCommandTogglesAndAsksForReinitialisation)
{
    open(0);
    EXPECT_EQ(send(WM_COMMAND, MAKEWPARAM(40001, 1)), 1);
    EXPECT_EQ(sys.settings.fullscreen, 1);
    EXPECT_EQ(sys.playback.reinitRequest, 1);
    EXPECT_EQ(send(WM_COMMAND, 40001), 1);
    EXPECT_EQ(sys.settings.fullscreen, 0);
    sys.playback.reinitRequest = 0;
    EXPECT_EQ(send(WM_COMMAND, 40002), 0);
    EXPECT_EQ(sys.playback.reinitRequest, 0);
    // A stored value other than 0 or 1 counts as on.
    sys.settings.fullscreen = 5;
    send(WM_COMMAND, 40001);
    EXPECT_EQ(sys.settings.fullscreen, 0);
}

TEST_F(MainWindow, AltEnterThroughThePumpTogglesAndPlainEnterOnlyReachesTheKeys)
{
    HWND window = open(0);
    platform::injectKey(window, "Return", platform::KeyAction::Press, platform::AltHeld);
    pumpMessages(window);
    EXPECT_EQ(sys.settings.fullscreen, 1);
    EXPECT_EQ(sys.playback.reinitRequest, 1);

    sys.playback.reinitRequest = 0;
    platform::injectKey(window, "Return", platform::KeyAction::Press);
    pumpMessages(window);
    EXPECT_EQ(sys.settings.fullscreen, 1);
    EXPECT_EQ(sys.playback.reinitRequest, 0);
    EXPECT_NE(log.text().find("KeyDown=0x0D\n"), std::string::npos);
}

struct FocusCase {
    int fullscreen;
    UINT message;
    int32_t before;
    int32_t after;
};

class FocusMessages : public MainWindow, public ::testing::WithParamInterface<FocusCase> { };

TEST_P(FocusMessages, DrivePlayState)
{
    const auto& c = GetParam();
    HWND window = open(c.fullscreen);
    sys.playback.playState = c.before;
    platform::injectFocus(window, c.message == WM_SETFOCUS);
    pumpMessages(window);
    EXPECT_EQ(sys.playback.playState, c.after);
}

INSTANTIATE_TEST_SUITE_P(Table, FocusMessages,
    ::testing::Values(FocusCase { 1, WM_KILLFOCUS, PlayState::Run, PlayState::Suspend }, FocusCase { 0, WM_KILLFOCUS, PlayState::Run, PlayState::Run },
        FocusCase { 0, WM_SETFOCUS, PlayState::Wait, PlayState::Resume }, FocusCase { 1, WM_SETFOCUS, PlayState::Wait, PlayState::Resume }));

TEST_F(MainWindow, KeyUpAndCharactersAreAnsweredWithoutDefaultHandling)
{
    open(0);
    EXPECT_EQ(send(WM_KEYUP, VK_ESCAPE), 0);
    EXPECT_EQ(send(WM_CHAR, 'a'), 0);
    EXPECT_EQ(send(WM_TIMER, 7), 0);
    EXPECT_EQ(send(WM_PAINT), 0);
}

TEST_F(MainWindow, CursorHidesFiveToSixSecondsAfterTheLastMouseMessage)
{
    HWND window = open(0);
    platform::injectMouseMove(window, 10, 10);
    pumpMessages(window);
    EXPECT_EQ(sys.window.lastMouseTime, 1000u);

    struct Tick {
        uint32_t now;
        bool hidden;
    };
    for (Tick tick : { Tick { 1001, false }, Tick { 1004, false }, Tick { 1005, true }, Tick { 1006, true } }) {
        fakeNow = tick.now;
        send(WM_TIMER, cursorTimer);
        EXPECT_EQ(sys.window.lastMouseTime == 0, tick.hidden) << "at +" << tick.now - 1000;
        EXPECT_EQ(cursorCount(), tick.hidden ? baseCursor - 1 : baseCursor) << "at +" << tick.now - 1000;
    }
    // A click shows the cursor again, once, and counts as mouse activity.
    fakeNow = 1010;
    platform::injectMouseButton(window, platform::MouseButton::Left, platform::KeyAction::Press, 5, 5);
    platform::injectMouseMove(window, 6, 6);
    pumpMessages(window);
    EXPECT_EQ(sys.window.lastMouseTime, 1010u);
    EXPECT_EQ(cursorCount(), baseCursor);
}

TEST_F(MainWindow, ClickWithoutAStreamDoesNothingAndWithOneResetsTheStallRule)
{
    HWND window = open(0);
    sys.composition.stallLimit = 12;
    sys.composition.stallCount = 7;
    platform::injectMouseButton(window, platform::MouseButton::Left, platform::KeyAction::Press, 100, 10);
    pumpMessages(window);
    EXPECT_EQ(sys.composition.stallLimit, 12);
    EXPECT_EQ(sys.composition.stallCount, 7);

    openMovieStream(sys, "none");
    sys.movie.movieDuration = 64000;
    platform::injectMouseButton(window, platform::MouseButton::Left, platform::KeyAction::Press, 100, 10);
    pumpMessages(window);
    EXPECT_EQ(sys.composition.stallLimit, 24);
    EXPECT_EQ(sys.composition.stallCount, 0);
}

struct SeekCase {
    uint32_t duration;
    int32_t screenx;
    int32_t x;
    std::optional<uint32_t> target;
};

class ClickSeekTarget : public ::testing::TestWithParam<SeekCase> { };

TEST_P(ClickSeekTarget, SpreadsTheDurationOverTheWidth)
{
    const auto& c = GetParam();
    EXPECT_EQ(clickSeekTarget(c.duration, c.screenx, c.x), c.target);
}

INSTANTIATE_TEST_SUITE_P(Arithmetic, ClickSeekTarget,
    ::testing::Values(SeekCase { 64000, 640, 0, 0u }, SeekCase { 64000, 640, 639, 63900u },
        SeekCase { 60000, 640, 639, 59906u }, SeekCase { 60000, 640, 1, 93u },
        SeekCase { 4000000000u, 1600, 1599, 3997500000u }, SeekCase { 60000, 640, -5, 0u },
        SeekCase { 60000, 640, 2000, 60000u }, SeekCase { 60000, 0, 10, std::nullopt }));

TEST_F(MainWindow, ClosingGoesThroughDestroyToQuit)
{
    HWND window = open(0);
    platform::injectCloseRequest(window);
    MSG msg;
    bool quit = false;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            quit = true;
        else
            DispatchMessageA(&msg);
    }
    EXPECT_TRUE(quit);
    EXPECT_EQ(sys.window.mainWindow, nullptr);
    EXPECT_FALSE(IsWindow(window));
}

}
