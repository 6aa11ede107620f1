#include "platform/kernel.h"
#include "platform/window/window.h"
#include "support/input_injection.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>

using namespace testing_support;
using platform::KeyAction;

namespace {

class WindowMessages : public ::testing::Test {
protected:
    void SetUp() override { drainMessages(); }
    void TearDown() override { drainMessages(); }

    // Takes the next message without dispatching it; WM_NULL when the queue is empty.
    MSG next()
    {
        MSG msg {};
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            msg.message = WM_NULL;
        return msg;
    }
};

struct KeyCase {
    const char* name;
    int virtualKey;
};

class KeyTranslation : public WindowMessages, public ::testing::WithParamInterface<KeyCase> { };

TEST_P(KeyTranslation, GivesTheWin32VirtualKeyCode)
{
    RecordingWindow window;
    ASSERT_TRUE(platform::injectKey(window.handle(), GetParam().name, KeyAction::Press));
    ASSERT_TRUE(platform::injectKey(window.handle(), GetParam().name, KeyAction::Release));
    MSG down = next();
    EXPECT_EQ(down.message, WM_KEYDOWN);
    EXPECT_EQ(down.hwnd, window.handle());
    EXPECT_EQ(static_cast<int>(down.wParam), GetParam().virtualKey);
    EXPECT_EQ(down.lParam & KF_ALTDOWN_BIT, 0);
    MSG up = next();
    // Character messages from text input may come in between.
    while (up.message == WM_CHAR)
        up = next();
    EXPECT_EQ(up.message, WM_KEYUP);
    EXPECT_EQ(static_cast<int>(up.wParam), GetParam().virtualKey);
}

INSTANTIATE_TEST_SUITE_P(CommandKeys, KeyTranslation,
    ::testing::Values(KeyCase { "Escape", 27 }, KeyCase { "Space", 32 }, KeyCase { "PageUp", 33 },
        KeyCase { "PageDown", 34 }, KeyCase { "End", 35 }, KeyCase { "Home", 36 }, KeyCase { "Left", 37 },
        KeyCase { "Up", 38 }, KeyCase { "Right", 39 }, KeyCase { "Down", 40 }, KeyCase { "1", 49 },
        KeyCase { "8", 56 }, KeyCase { "A", 65 }, KeyCase { "T", 84 }, KeyCase { "X", 88 },
        KeyCase { "Keypad +", 107 }, KeyCase { "Keypad -", 109 }, KeyCase { "F1", 112 }, KeyCase { ",", 188 },
        KeyCase { ".", 190 }, KeyCase { "`", 192 }, KeyCase { "Return", 13 }, KeyCase { "Keypad Enter", 13 }));

TEST_F(WindowMessages, AltCombinationsArriveAsSystemKeys)
{
    RecordingWindow window;
    platform::injectKey(window.handle(), "A", KeyAction::Press, platform::AltHeld);
    MSG msg = next();
    EXPECT_EQ(msg.message, WM_SYSKEYDOWN);
    EXPECT_EQ(msg.wParam, WPARAM { 'A' });
    EXPECT_NE(msg.lParam & KF_ALTDOWN_BIT, 0);
}

TEST_F(WindowMessages, AltEnterBecomesTheFullScreenCommandAndPlainEnterStaysAKey)
{
    RecordingWindow window;
    platform::injectKey(window.handle(), "Return", KeyAction::Press, platform::AltHeld);
    pumpMessages(window.handle());
    auto commands = window.of(WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(LOWORD(commands[0].wParam), 40001);
    EXPECT_TRUE(window.of(WM_SYSKEYDOWN).empty());

    window.messages().clear();
    platform::injectKey(window.handle(), "Return", KeyAction::Press);
    pumpMessages(window.handle());
    EXPECT_TRUE(window.of(WM_COMMAND).empty());
    ASSERT_EQ(window.of(WM_KEYDOWN).size(), 1u);
    EXPECT_EQ(window.of(WM_KEYDOWN)[0].wParam, WPARAM { VK_RETURN });

    // Ctrl+Alt+Enter is not in the table either.
    window.messages().clear();
    platform::injectKey(window.handle(), "Left Ctrl", KeyAction::Press);
    platform::injectKey(window.handle(), "Return", KeyAction::Press, platform::AltHeld | platform::ControlHeld);
    pumpMessages(window.handle());
    EXPECT_TRUE(window.of(WM_COMMAND).empty());
    platform::injectKey(window.handle(), "Left Ctrl", KeyAction::Release);
    pumpMessages(window.handle());
}

TEST_F(WindowMessages, AltF4ClosesThroughTheDefaultHandling)
{
    RecordingWindow window;
    platform::injectKey(window.handle(), "F4", KeyAction::Press, platform::AltHeld);
    pumpMessages();
    EXPECT_EQ(window.of(WM_CLOSE).size(), 1u);
    EXPECT_EQ(window.of(WM_DESTROY).size(), 1u);
    EXPECT_FALSE(IsWindow(window.handle()));
}

TEST_F(WindowMessages, MouseMessagesCarryClientCoordinatesAndTheirScreenPosition)
{
    RecordingWindow window(400, 300);
    MoveWindow(window.handle(), 30, 40, 400, 300, FALSE);
    platform::injectMouseMove(window.handle(), 10, 20);
    platform::injectMouseButton(window.handle(), platform::MouseButton::Left, KeyAction::Press, 123, 45);
    MSG move = next();
    EXPECT_EQ(move.message, WM_MOUSEMOVE);
    EXPECT_EQ(GET_X_LPARAM(move.lParam), 10);
    EXPECT_EQ(GET_Y_LPARAM(move.lParam), 20);
    MSG click = next();
    EXPECT_EQ(click.message, WM_LBUTTONDOWN);
    EXPECT_EQ(GET_X_LPARAM(click.lParam), 123);
    EXPECT_EQ(GET_Y_LPARAM(click.lParam), 45);
    EXPECT_NE(click.wParam & MK_LBUTTON, 0u);
    // The position of the last retrieved message, mapped back, is the click's client position.
    DWORD position = GetMessagePos();
    POINT point { GET_X_LPARAM(static_cast<LPARAM>(position)), GET_Y_LPARAM(static_cast<LPARAM>(position)) };
    ASSERT_TRUE(ScreenToClient(window.handle(), &point));
    EXPECT_EQ(point.x, 123);
    EXPECT_EQ(point.y, 45);
    POINT origin { 0, 0 };
    ClientToScreen(window.handle(), &origin);
    EXPECT_EQ(point.x + origin.x, GET_X_LPARAM(static_cast<LPARAM>(position)));
}

TEST_F(WindowMessages, FocusChangesBecomeFocusMessages)
{
    RecordingWindow window;
    platform::injectFocus(window.handle(), false);
    platform::injectFocus(window.handle(), true);
    EXPECT_EQ(next().message, WM_KILLFOCUS);
    EXPECT_EQ(next().message, WM_SETFOCUS);
}

TEST_F(WindowMessages, CloseRequestAndApplicationQuitBothCloseTheMainWindow)
{
    RecordingWindow window;
    platform::injectCloseRequest(window.handle());
    pumpMessages();
    EXPECT_EQ(window.of(WM_DESTROY).size(), 1u);

    RecordingWindow second;
    platform::injectQuit();
    pumpMessages();
    EXPECT_EQ(second.of(WM_CLOSE).size(), 1u);
    EXPECT_FALSE(IsWindow(second.handle()));
}

TEST_F(WindowMessages, QuitComesAfterThePostedMessages)
{
    RecordingWindow window;
    PostQuitMessage(3);
    PostMessageA(window.handle(), WM_COMMAND, 7, 0);
    MSG first = next();
    EXPECT_EQ(first.message, WM_COMMAND);
    MSG quit = next();
    EXPECT_EQ(quit.message, WM_QUIT);
    EXPECT_EQ(quit.wParam, 3u);
    EXPECT_EQ(next().message, WM_NULL);
}

TEST_F(WindowMessages, ExposeAsksForPaintUntilTheWindowIsValidated)
{
    RecordingWindow window;
    ShowWindow(window.handle(), SW_SHOW);
    drainMessages();
    platform::injectExpose(window.handle());
    MSG first = next();
    ASSERT_EQ(first.message, WM_PAINT);
    EXPECT_EQ(next().message, WM_PAINT);
    PAINTSTRUCT paint;
    BeginPaint(window.handle(), &paint);
    EndPaint(window.handle(), &paint);
    EXPECT_EQ(next().message, WM_NULL);
}

TEST_F(WindowMessages, TimersPostTimerMessagesUntilKilled)
{
    RecordingWindow window;
    ASSERT_EQ(SetTimer(window.handle(), 100, 10, nullptr), 100u);
    MSG msg {};
    // Wait for the first tick (bounded so a broken timer fails instead of hanging).
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool ticked = false;
    while (!ticked && std::chrono::steady_clock::now() < deadline) {
        WaitMessage();
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            ticked = ticked || (msg.message == WM_TIMER && msg.wParam == 100 && msg.hwnd == window.handle());
    }
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(KillTimer(window.handle(), 100));
    EXPECT_FALSE(KillTimer(window.handle(), 100));
    drainMessages();
    EXPECT_EQ(next().message, WM_NULL);
}

TEST_F(WindowMessages, StaleHandlesAndBadArgumentsFailHarmlessly)
{
    HWND stale = nullptr;
    {
        RecordingWindow window;
        stale = window.handle();
    }
    RECT rect {};
    POINT point {};
    EXPECT_FALSE(GetClientRect(stale, &rect));
    EXPECT_FALSE(MoveWindow(stale, 0, 0, 10, 10, FALSE));
    EXPECT_FALSE(ScreenToClient(stale, &point));
    EXPECT_FALSE(ShowWindow(stale, SW_SHOW));
    EXPECT_EQ(SetTimer(stale, 1, 10, nullptr), 0u);
    EXPECT_FALSE(PostMessageA(stale, WM_COMMAND, 0, 0));
    EXPECT_EQ(DispatchMessageA(nullptr), 0);
    EXPECT_FALSE(PeekMessageA(nullptr, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "x", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    WNDCLASSA nameless {};
    EXPECT_EQ(RegisterClassA(&nameless), 0);
    EXPECT_EQ(RegisterClassA(nullptr), 0);
}

TEST_F(WindowMessages, ClientAreaStyleAndPlacement)
{
    RecordingWindow window(200, 100, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    RECT client {};
    ASSERT_TRUE(GetClientRect(window.handle(), &client));
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 100);
    MoveWindow(window.handle(), 10, 20, 300, 250, FALSE);
    RECT frame {};
    GetWindowRect(window.handle(), &frame);
    EXPECT_EQ(frame.left, 10);
    EXPECT_EQ(frame.top, 20);
    EXPECT_EQ(frame.right - frame.left, 300);
    EXPECT_EQ(frame.bottom - frame.top, 250);
    SetWindowPos(window.handle(), nullptr, 50, 60, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
    GetWindowRect(window.handle(), &frame);
    EXPECT_EQ(frame.left, 50);
    EXPECT_EQ(frame.right - frame.left, 300);

    EXPECT_EQ(static_cast<DWORD>(SetWindowLongA(window.handle(), GWL_STYLE, static_cast<LONG>(WS_POPUP))),
        WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window.handle(), GWL_STYLE)), WS_POPUP);
    EXPECT_FALSE(ShowWindow(window.handle(), SW_SHOWNORMAL));
    EXPECT_TRUE(ShowWindow(window.handle(), SW_HIDE));

    RECT desktop {};
    ASSERT_TRUE(GetClientRect(GetDesktopWindow(), &desktop));
    EXPECT_GT(desktop.right, 0);
    EXPECT_GT(desktop.bottom, 0);
}

TEST_F(WindowMessages, CursorDisplayCountRisesAndFalls)
{
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_EQ(ShowCursor(FALSE), -2);
    EXPECT_EQ(ShowCursor(TRUE), -1);
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
}

TEST_F(WindowMessages, ResourcesAreTheIconAndTheAcceleratorTable)
{
    EXPECT_NE(LoadIconA(nullptr, MAKEINTRESOURCEA(103)), nullptr);
    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(104)), nullptr);
    EXPECT_NE(LoadAcceleratorsA(nullptr, MAKEINTRESOURCEA(102)), nullptr);
    EXPECT_EQ(LoadAcceleratorsA(nullptr, MAKEINTRESOURCEA(101)), nullptr);
}
// A terminate that comes while the program starts, before a box is up, is SDL's quit waiting in the
// queue; the box must not then wait for an answer. The display is made unreachable so that a box that
// wrongly tries to show fails instead of waiting.
TEST_F(WindowMessages, AnEndAskedBeforeABoxAnswersItAtOnce)
{
    RecordingWindow window;
    const char* display = std::getenv("DISPLAY");
    const std::string savedDisplay = display ? display : "";
    setenv("DISPLAY", ":65000", 1);
    unsetenv("SUBLUMEN_MESSAGEBOX_ANSWER");
    static std::string logged;
    logged.clear();
    platform::setLogSink([](const char* text) { logged += text; });
    std::raise(SIGTERM);
    EXPECT_EQ(MessageBoxA(nullptr, "text", "Sublumen", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "box", "Sublumen", MB_OK), IDOK);
    platform::setLogSink(nullptr);
    EXPECT_EQ(logged,
        "MessageBox \"text\" closed: the program is asked to end.\n"
        "MessageBox \"box\" closed: the program is asked to end.\n");
    if (display)
        setenv("DISPLAY", savedDisplay.c_str(), 1);
    else
        unsetenv("DISPLAY");
    // The quit is left for the loop, which closes the main window the normal way.
    pumpMessages();
    EXPECT_FALSE(IsWindow(window.handle()));
}

struct BoxCase {
    const char* scripted;
    UINT type;
    int answer;
};

class ScriptedMessageBox : public ::testing::TestWithParam<BoxCase> { };

TEST_P(ScriptedMessageBox, AnswersWithoutShowingAnything)
{
    setenv("SUBLUMEN_MESSAGEBOX_ANSWER", GetParam().scripted, 1);
    EXPECT_EQ(MessageBoxA(nullptr, "text", "Sublumen", GetParam().type), GetParam().answer);
    unsetenv("SUBLUMEN_MESSAGEBOX_ANSWER");
}

INSTANTIATE_TEST_SUITE_P(Answers, ScriptedMessageBox,
    ::testing::Values(BoxCase { "yes", MB_YESNO | MB_ICONWARNING, IDYES },
        BoxCase { "no", MB_YESNO | MB_ICONWARNING, IDNO }, BoxCase { "ok", MB_YESNO, IDNO },
        BoxCase { "ok", MB_OK, IDOK }, BoxCase { "yes", MB_OK, IDOK }));

}
