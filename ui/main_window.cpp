#include "ui/main_window.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "media/media_stream.h"
#include "media/transcript_panel.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel.h"
#include "platform/window/drop_files.h"
#include "resources/resources.h"
#include "ui/commands.h"
#include "ui/desktop.h"

#include <cmath>
#include <string>
#include <vector>

namespace sublumen {

namespace {

constexpr const char* windowName = "Sublumen";
constexpr DWORD fullScreenStyle = WS_POPUP;
constexpr DWORD windowedStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// The size a window falls back to, as a refused full-screen mode does.
constexpr int32_t fallbackWidth = 640;
constexpr int32_t fallbackHeight = 480;

// The System the window class serves. A window procedure has no room for it in its signature, and the
// process has one main window; initWindow binds it before the window exists, as WM_CREATE arrives
// while the window is still being created.
System* boundSystem = nullptr;

void sizeWindowTo(HWND window, int width, int height)
{
    MoveWindow(window, 0, 0, width, height, FALSE);
    RECT client {};
    GetClientRect(window, &client);
    const int cw = client.right - client.left;
    const int ch = client.bottom - client.top;
    // Whatever the frame and caption take comes on top, so the client area is exactly the chosen size.
    MoveWindow(window, 0, 0, 2 * width - cw, 2 * height - ch, FALSE);
    centreWindow(window);
}

}

ATOM registerWindowClass(UINT style, WNDPROC procedure, int classExtra, int windowExtra, HINSTANCE instance,
    HICON icon, HCURSOR cursor, HBRUSH background, const char* menuName, const char* className)
{
    WNDCLASSA windowClass {};
    windowClass.style = style;
    windowClass.lpfnWndProc = procedure;
    windowClass.cbClsExtra = classExtra;
    windowClass.cbWndExtra = windowExtra;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hCursor = cursor;
    windowClass.hbrBackground = background;
    windowClass.lpszMenuName = menuName;
    windowClass.lpszClassName = className;
    return RegisterClassA(&windowClass);
}

int initWindow(System& sys)
{
    boundSystem = &sys;
    HINSTANCE instance = sys.playback.instance;
    registerWindowClass(CS_HREDRAW | CS_VREDRAW, mainWindowProc, 0, 0, instance,
        LoadIconA(instance, MAKEINTRESOURCEA(IDI_SUBLUMEN)), nullptr, GetStockObject(BLACK_BRUSH), nullptr,
        windowName);
    // A window-mode size no window can take falls back at once. A full-screen mode is judged by the display
    // set-up, which has its own fallback; until then the hidden window only needs a size it can be made with.
    if (!sys.settings.fullscreen)
        fitWindowSize(sys);
    const bool fits = windowSizeFits(sys.settings.screenx, sys.settings.screeny);
    const int width = fits ? sys.settings.screenx : fallbackWidth;
    const int height = fits ? sys.settings.screeny : fallbackHeight;
    HWND window = CreateWindowExA(0, windowName, windowName, sys.settings.fullscreen ? fullScreenStyle : windowedStyle,
        0, 0, width, height, nullptr, nullptr, instance, nullptr);
    if (!window) {
        debugLog("Create Window Error.\n");
        MessageBoxA(nullptr, "Can't create window.", "Sublumen", MB_OK);
        return -2;
    }
    sizeWindowTo(window, width, height);
    SetWindowPos(window, sys.settings.alwaystop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
        SWP_NOMOVE | SWP_NOSIZE);
    return 0;
}

int sizeWindow(System& sys)
{
    sizeWindowTo(sys.window.mainWindow, sys.settings.screenx, sys.settings.screeny);
    return 0;
}

bool windowSizeFits(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        return false;
    RECT desktop {};
    GetClientRect(GetDesktopWindow(), &desktop);
    if (desktop.right <= 0 || desktop.bottom <= 0)
        return true;
    return width <= desktop.right && height <= desktop.bottom;
}

int fitWindowSize(System& sys)
{
    Settings& settings = sys.settings;
    if (windowSizeFits(settings.screenx, settings.screeny))
        return 0;
    debugLog("WindowSize %dx%d Fail. Fall back to %dx%d\n", settings.screenx, settings.screeny, fallbackWidth,
        fallbackHeight);
    // The settings keep the fallback, so the size that failed is not saved for the next start.
    settings.screenx = fallbackWidth;
    settings.screeny = fallbackHeight;
    return -1;
}

void centreWindow(HWND window)
{
    RECT desktop {};
    RECT frame {};
    GetClientRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &frame);
    // The desktop's client area starts past the panels on its top and left edges.
    POINT origin { 0, 0 };
    ClientToScreen(GetDesktopWindow(), &origin);
    const int left = origin.x + (desktop.right + frame.left - frame.right) / 2;
    const int top = origin.y + (desktop.bottom + frame.top - frame.bottom) / 2;
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
}

void clickSeek(System& sys)
{
    DWORD position = GetMessagePos();
    POINT point { GET_X_LPARAM(static_cast<LPARAM>(position)), GET_Y_LPARAM(static_cast<LPARAM>(position)) };
    ScreenToClient(sys.window.mainWindow, &point);
    if (auto target = clickSeekTarget(sys.movie.movieDuration, sys.settings.screenx, point.x))
        runKeyWith(sys, VK_LBUTTON, NoModifier, { .value = *target });
}

std::optional<uint32_t> clickSeekTarget(uint32_t duration, int32_t screenx, int32_t x)
{
    if (screenx <= 0)
        return std::nullopt;
    double target = std::trunc(static_cast<double>(duration) / screenx * x);
    // A press outside the client area (a full-screen window larger than the picture, or the mouse
    // captured past an edge) seeks to the nearest end instead of wrapping around.
    if (target < 0)
        return 0u;
    if (target > duration)
        return duration;
    return static_cast<uint32_t>(target);
}

void dropFiles(System& sys, HDROP drop)
{
    std::vector<std::string> files;
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::string name(DragQueryFileA(drop, i, nullptr, 0), '\0');
        DragQueryFileA(drop, i, name.data(), static_cast<UINT>(name.size() + 1));
        files.push_back(std::move(name));
    }
    DragFinish(drop);
    runCommand(sys, Command::Open, { .files = &files });
}

namespace {

// Any mouse message shows a hidden cursor and starts its time again.
void noteMouse(System& sys)
{
    if (sys.window.lastMouseTime == 0)
        ShowCursor(TRUE);
    sys.window.lastMouseTime = calendarSeconds();
}

// The cursor timer hides the cursor once no mouse message came for cursorHideSeconds.
void hideIdleCursor(System& sys, WPARAM timer)
{
    if (timer == cursorTimer && sys.window.lastMouseTime != 0
        && calendarSeconds() - sys.window.lastMouseTime >= cursorHideSeconds) {
        sys.window.lastMouseTime = 0;
        ShowCursor(FALSE);
    }
}

void onCreate(System& sys, HWND window)
{
    sys.window.mainWindow = window;
    SetTimer(window, cursorTimer, cursorTimerPeriod, nullptr);
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
}

void onDestroy(System& sys, HWND window)
{
    KillTimer(window, cursorTimer);
    PostQuitMessage(0);
    sys.window.mainWindow = nullptr;
}

}

LRESULT windowProcedure(System& sys, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK)
        noteMouse(sys);

    switch (message) {
    case WM_CREATE:
        onCreate(sys, window);
        return 0;
    case WM_DESTROY:
        onDestroy(sys, window);
        return 0;
    case WM_SETFOCUS:
        sys.playback.playState = PlayState::Resume;
        return 0;
    case WM_KILLFOCUS:
        if (sys.settings.fullscreen)
            sys.playback.playState = PlayState::Suspend;
        return 0;
    case WM_PAINT: {
        // Frames are drawn by the main loop only.
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_KEYDOWN:
        onKeyDown(sys, static_cast<int>(wParam));
        return 0;
    case WM_CHAR:
        typeIntoTranscript(sys, static_cast<unsigned char>(wParam));
        return 0;
    case WM_IME_COMPOSITION:
        composeInTranscript(sys);
        return 0;
    case WM_KEYUP:
        return 0;
    case WM_COMMAND:
        // The accelerator table turns Alt+Enter into this command.
        if (LOWORD(wParam) == ID_TOGGLE_FULLSCREEN) {
            runKeyWith(sys, VK_RETURN, Alt, {});
            return 1;
        }
        return 0;
    case WM_TIMER:
        hideIdleCursor(sys, wParam);
        return 0;
    case WM_LBUTTONDOWN:
        clickSeek(sys);
        return 0;
    case WM_DESKTOPCALLS:
        serveDesktopControls(sys);
        return 0;
    case WM_DROPFILES:
        dropFiles(sys, reinterpret_cast<HDROP>(wParam));
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!boundSystem)
        return DefWindowProcA(window, message, wParam, lParam);
    return windowProcedure(*boundSystem, window, message, wParam, lParam);
}

}
