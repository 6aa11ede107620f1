// Windows and their geometry, the desktop and the cursor on SDL2.
#include "platform/kernel.h"
#include "platform/screen/display_scale.h"
#include "platform/window/window_registry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

struct CursorObject {
    SDL_Cursor* cursor = nullptr;
};

namespace {

bool bordered(DWORD style) { return (style & WS_CAPTION) == WS_CAPTION; }

struct Borders {
    int top = 0, left = 0, bottom = 0, right = 0;
};

Borders bordersOf(const WindowObject& window)
{
    Borders b;
    if (window.screen.exclusive() || !window.sdl() || SDL_GetWindowBordersSize(window.sdl(), &b.top, &b.left, &b.bottom, &b.right) != 0)
        return Borders {};
    return b;
}

// The live window behind a handle, or the desktop, which answers geometry questions too.
WindowObject* windowOrDesktop(HWND handle)
{
    auto& desktop = platform::windowRegistry().desktop;
    return handle == &desktop ? &desktop : platform::liveWindow(handle);
}

void clientSize(const WindowObject& window, int& width, int& height)
{
    width = height = 0;
    if (window.isDesktop) {
        SDL_Rect usable {};
        if (platform::startVideo() && SDL_GetDisplayUsableBounds(0, &usable) == 0) {
            // At a desktop scale above 1 the desktop is as large as the main window sees it.
            width = platform::unscaledByDesktop(usable.w);
            height = platform::unscaledByDesktop(usable.h);
        }
        return;
    }
    const platform::ScreenGeometry g = window.screen.geometry();
    width = g.clientWidth();
    height = g.clientHeight();
}

}

namespace platform {

bool desktopSize(HWND handle, int& width, int& height)
{
    width = height = 0;
    if (!startVideo())
        return false;
    WindowObject* window = liveWindow(handle ? handle : windowRegistry().mainWindow);
    int index = window && window->sdl() ? SDL_GetWindowDisplayIndex(window->sdl()) : 0;
    SDL_DisplayMode mode {};
    if (SDL_GetDesktopDisplayMode(index < 0 ? 0 : index, &mode) != 0 || mode.w <= 0 || mode.h <= 0)
        return false;
    width = mode.w;
    height = mode.h;
    return true;
}

bool usableClientSize(HWND handle, int& width, int& height)
{
    width = height = 0;
    if (!startVideo())
        return false;
    WindowObject* window = liveWindow(handle ? handle : windowRegistry().mainWindow);
    int index = window && window->sdl() ? SDL_GetWindowDisplayIndex(window->sdl()) : 0;
    SDL_Rect usable {};
    if (SDL_GetDisplayUsableBounds(index < 0 ? 0 : index, &usable) != 0)
        return false;
    // The frame the window manager puts around the window now; none without a manager.
    const Borders b = window ? bordersOf(*window) : Borders {};
    width = unscaledByDesktop(usable.w - b.left - b.right);
    height = unscaledByDesktop(usable.h - b.top - b.bottom);
    return width > 0 && height > 0;
}

}

ATOM RegisterClassA(const WNDCLASSA* windowClass)
{
    if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc || !*windowClass->lpszClassName)
        return 0;
    auto& reg = platform::windowRegistry();
    auto [it, inserted] = reg.classes.emplace(windowClass->lpszClassName, *windowClass);
    if (!inserted)
        return 0;
    return static_cast<ATOM>(0xC000 + reg.classes.size());
}

HWND CreateWindowExA(DWORD, const char* className, const char* windowName, DWORD style, int x, int y, int width,
    int height, HWND, HMENU, HINSTANCE, void*)
{
    auto& reg = platform::windowRegistry();
    if (!className)
        return nullptr;
    auto found = reg.classes.find(className);
    if (found == reg.classes.end() || !platform::startVideo())
        return nullptr;
    const WNDCLASSA& windowClass = found->second;
    auto window = std::make_unique<WindowObject>();
    window->procedure = windowClass.lpfnWndProc;
    window->className = className;
    window->style = style & ~WS_VISIBLE;
    // At a desktop scale above 1 the window covers what it covers at scale 1, in device pixels, or as
    // much as the desktop has room for.
    platform::Screen sizing;
    sizing.setScale(platform::displayScale());
    SDL_Rect usable {};
    if (SDL_GetDisplayUsableBounds(0, &usable) == 0)
        sizing.fitScale(width, height, usable.w, usable.h);
    const double scale = sizing.scale();
    auto physical = [scale](int n) { return static_cast<int>(std::lround(std::max(1, n) * scale)); };
    window->screen = platform::Screen::open(windowName ? windowName : "", physical(x), physical(y), physical(width),
        physical(height), bordered(style), platform::defaultPresentPath());
    if (!window->sdl())
        return nullptr;
    window->screen.setScale(platform::displayScale());
    window->screen.fitScale(width, height, usable.w, usable.h);
    if (SDL_Surface* icon = platform::iconSurface(windowClass.hIcon))
        SDL_SetWindowIcon(window->sdl(), icon);
    WindowObject* raw = window.get();
    reg.windows.push_back(std::move(window));
    if (!reg.mainWindow)
        reg.mainWindow = raw;
    if (raw->procedure(raw, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(raw);
        return nullptr;
    }
    if (style & WS_VISIBLE)
        ShowWindow(raw, SW_SHOW);
    return raw;
}

BOOL DestroyWindow(HWND handle)
{
    WindowObject* window = platform::liveWindow(handle);
    if (!window)
        return FALSE;
    auto& reg = platform::windowRegistry();
    window->procedure(handle, WM_DESTROY, 0, 0);
    platform::stopTimers(handle);
    window->screen = platform::Screen {};
    if (reg.mainWindow == handle)
        reg.mainWindow = nullptr;
    std::erase_if(reg.windows, [&](const auto& w) { return w.get() == window; });
    if (!reg.mainWindow && !reg.windows.empty())
        reg.mainWindow = reg.windows.front().get();
    return TRUE;
}

LRESULT DefWindowProcA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowObject* window = platform::liveWindow(handle);
    if (!window)
        return 0;
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(handle);
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & KF_ALTDOWN_BIT))
            SendMessageA(handle, WM_CLOSE, 0, 0);
        return 0;
    case WM_PAINT:
        window->needsPaint = false;
        return 0;
    default:
        return 0;
    }
}

BOOL IsWindow(HWND window) { return platform::liveWindow(window) ? TRUE : FALSE; }

BOOL MoveWindow(HWND handle, int x, int y, int width, int height, BOOL repaint)
{
    WindowObject* window = platform::liveWindow(handle);
    if (!window)
        return FALSE;
    if (window->screen.exclusive()) {
        // The full-screen window keeps covering the screen; the geometry applies when it leaves.
        window->restoreRect = RECT { x, y, x + width, y + height };
        return TRUE;
    }
    Borders b = bordersOf(*window);
    // Client coordinates and sizes are the desktop's scale smaller than the device pixels they cover;
    // a client area that would not fit the desktop at that scale gets the largest one it fits at.
    SDL_Rect usable {};
    const int display = SDL_GetWindowDisplayIndex(window->sdl());
    if (SDL_GetDisplayUsableBounds(display < 0 ? 0 : display, &usable) == 0
        && window->screen.fitScale(width - b.left - b.right, height - b.top - b.bottom, usable.w - b.left - b.right,
            usable.h - b.top - b.bottom))
        platform::platformLog("Display scale: a client area of %dx%d is shown at %.3g.\n", width - b.left - b.right,
            height - b.top - b.bottom, window->screen.scale());
    const double scale = window->screen.windowUnitScale();
    auto physical = [scale](int n) { return static_cast<int>(std::lround(n * scale)); };
    SDL_SetWindowPosition(window->sdl(), physical(x) + b.left, physical(y) + b.top);
    SDL_SetWindowSize(window->sdl(), std::max(1, physical(width - b.left - b.right)),
        std::max(1, physical(height - b.top - b.bottom)));
    if (repaint)
        window->needsPaint = true;
    return TRUE;
}

BOOL GetClientRect(HWND handle, RECT* rect)
{
    if (!rect)
        return FALSE;
    WindowObject* window = windowOrDesktop(handle);
    if (!window)
        return FALSE;
    int w = 0, h = 0;
    clientSize(*window, w, h);
    *rect = RECT { 0, 0, w, h };
    return TRUE;
}

BOOL GetWindowRect(HWND handle, RECT* rect)
{
    if (!rect)
        return FALSE;
    WindowObject* window = windowOrDesktop(handle);
    if (!window)
        return FALSE;
    int w = 0, h = 0;
    clientSize(*window, w, h);
    POINT origin = platform::clientOrigin(*window);
    Borders b = bordersOf(*window);
    *rect = RECT { origin.x - b.left, origin.y - b.top, origin.x + w + b.right, origin.y + h + b.bottom };
    return TRUE;
}

BOOL SetWindowPos(HWND handle, HWND insertAfter, int x, int y, int width, int height, UINT flags)
{
    WindowObject* window = platform::liveWindow(handle);
    if (!window)
        return FALSE;
    if (!(flags & SWP_NOZORDER)) {
        if (insertAfter == HWND_TOPMOST)
            SDL_SetWindowAlwaysOnTop(window->sdl(), SDL_TRUE);
        else if (insertAfter == HWND_NOTOPMOST)
            SDL_SetWindowAlwaysOnTop(window->sdl(), SDL_FALSE);
        else if (insertAfter == HWND_TOP && window->visible)
            SDL_RaiseWindow(window->sdl());
    }
    if ((flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) {
        RECT current {};
        GetWindowRect(handle, &current);
        int nx = (flags & SWP_NOMOVE) ? current.left : x;
        int ny = (flags & SWP_NOMOVE) ? current.top : y;
        int nw = (flags & SWP_NOSIZE) ? current.right - current.left : width;
        int nh = (flags & SWP_NOSIZE) ? current.bottom - current.top : height;
        MoveWindow(handle, nx, ny, nw, nh, FALSE);
    }
    return TRUE;
}

BOOL ShowWindow(HWND handle, int command)
{
    WindowObject* window = platform::liveWindow(handle);
    if (!window)
        return FALSE;
    BOOL wasVisible = window->visible ? TRUE : FALSE;
    if (command == SW_HIDE) {
        SDL_HideWindow(window->sdl());
        platform::settleKeyboard();
        window->visible = false;
    } else {
        SDL_ShowWindow(window->sdl());
        SDL_RaiseWindow(window->sdl());
        platform::settleKeyboard();
        window->visible = true;
        window->needsPaint = true;
    }
    return wasVisible;
}

BOOL UpdateWindow(HWND handle)
{
    WindowObject* window = platform::liveWindow(handle);
    if (!window)
        return FALSE;
    if (window->needsPaint && window->visible)
        window->procedure(handle, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL InvalidateRect(HWND handle, const RECT*, BOOL)
{
    if (!handle) {
        for (auto& window : platform::windowRegistry().windows)
            window->needsPaint = true;
        return TRUE;
    }
    WindowObject* window = platform::liveWindow(handle);
    if (!window)
        return FALSE;
    window->needsPaint = true;
    return TRUE;
}

HDC BeginPaint(HWND handle, PAINTSTRUCT* paint)
{
    WindowObject* window = platform::liveWindow(handle);
    if (paint)
        *paint = PAINTSTRUCT {};
    if (!window)
        return nullptr;
    window->needsPaint = false;
    if (paint)
        GetClientRect(handle, &paint->rcPaint);
    // The window has no device context of its own: its picture comes from DirectDraw presentation.
    return nullptr;
}

BOOL EndPaint(HWND handle, const PAINTSTRUCT*) { return platform::liveWindow(handle) ? TRUE : FALSE; }

LONG SetWindowLongA(HWND handle, int index, LONG value)
{
    WindowObject* window = platform::liveWindow(handle);
    if (!window || index != GWL_STYLE)
        return 0;
    LONG previous = static_cast<LONG>(window->style);
    window->style = static_cast<DWORD>(value) & ~WS_VISIBLE;
    if (!window->screen.exclusive())
        SDL_SetWindowBordered(window->sdl(), bordered(window->style) ? SDL_TRUE : SDL_FALSE);
    return previous;
}

LONG GetWindowLongA(HWND handle, int index)
{
    WindowObject* window = platform::liveWindow(handle);
    if (!window || index != GWL_STYLE)
        return 0;
    return static_cast<LONG>(window->style | (window->visible ? WS_VISIBLE : 0));
}

HWND GetDesktopWindow() { return &platform::windowRegistry().desktop; }

BOOL ClientToScreen(HWND handle, POINT* point)
{
    WindowObject* window = windowOrDesktop(handle);
    if (!window || !point)
        return FALSE;
    POINT origin = platform::clientOrigin(*window);
    point->x += origin.x;
    point->y += origin.y;
    return TRUE;
}

BOOL ScreenToClient(HWND handle, POINT* point)
{
    WindowObject* window = windowOrDesktop(handle);
    if (!window || !point)
        return FALSE;
    POINT origin = platform::clientOrigin(*window);
    point->x -= origin.x;
    point->y -= origin.y;
    return TRUE;
}

int ShowCursor(BOOL show)
{
    auto& reg = platform::windowRegistry();
    reg.cursorCount += show ? 1 : -1;
    if (platform::startVideo())
        SDL_ShowCursor(reg.cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return reg.cursorCount;
}

HCURSOR LoadCursorA(HINSTANCE, const char* name)
{
    if (name != IDC_ARROW || !platform::startVideo())
        return nullptr;
    // Drivers without cursors (offscreen, dummy) give no SDL cursor; the arrow then shows nothing.
    static CursorObject arrow;
    if (!arrow.cursor)
        arrow.cursor = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
    return &arrow;
}

HCURSOR SetCursor(HCURSOR cursor)
{
    auto& reg = platform::windowRegistry();
    HCURSOR previous = reg.currentCursor;
    reg.currentCursor = cursor;
    if (cursor && cursor->cursor)
        SDL_SetCursor(cursor->cursor);
    return previous;
}
