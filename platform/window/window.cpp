// Windows, the message queue and its pump on SDL2.
#include "platform/kernel.h"
#include "platform/window/window_object.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct CursorObject {
    SDL_Cursor* cursor = nullptr;
};

namespace {

struct Timer {
    SDL_TimerID sdlTimer = 0;
    uint64_t serial = 0;
    bool pending = false;
};

struct WindowRegistry {
    bool started = false;
    bool startFailed = false;
    uint32_t wakeEvent = 0;
    std::map<std::string, WNDCLASSA> classes;
    std::vector<std::unique_ptr<WindowObject>> windows;
    WindowObject desktop;
    HWND mainWindow = nullptr;
    std::deque<MSG> posted;
    bool quitPending = false;
    int quitCode = 0;
    POINT cursorScreen {};
    DWORD lastMessagePos = 0;
    bool keyDown[256] {};
    int cursorCount = 0;
    HCURSOR currentCursor = nullptr;

    // The timers are touched by SDL's timer thread; everything else belongs to the main thread.
    std::mutex timerMutex;
    std::map<std::pair<HWND, UINT_PTR>, Timer> timers;
    uint64_t nextTimerSerial = 1;
};

WindowRegistry& registry()
{
    static WindowRegistry instance;
    instance.desktop.isDesktop = true;
    return instance;
}


bool bordered(DWORD style) { return (style & WS_CAPTION) == WS_CAPTION; }

struct Borders {
    int top = 0, left = 0, bottom = 0, right = 0;
};

Borders bordersOf(const WindowObject& window)
{
    Borders b;
    if (window.exclusive || !window.sdl || SDL_GetWindowBordersSize(window.sdl, &b.top, &b.left, &b.bottom, &b.right) != 0)
        return Borders {};
    return b;
}

// Top-left of the client area in screen coordinates.
POINT clientOrigin(const WindowObject& window)
{
    POINT p { 0, 0 };
    if (window.exclusive || window.isDesktop || !window.sdl)
        return p;
    int x = 0, y = 0;
    SDL_GetWindowPosition(window.sdl, &x, &y);
    p.x = x;
    p.y = y;
    return p;
}

void clientSize(const WindowObject& window, int& width, int& height)
{
    width = height = 0;
    if (window.isDesktop) {
        SDL_Rect usable {};
        if (platform::startVideo() && SDL_GetDisplayUsableBounds(0, &usable) == 0) {
            width = usable.w;
            height = usable.h;
        }
        return;
    }
    if (window.exclusive) {
        width = window.screenWidth;
        height = window.screenHeight;
        return;
    }
    if (window.sdl)
        SDL_GetWindowSize(window.sdl, &width, &height);
}

void postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto& reg = registry();
    MSG msg {};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = SDL_GetTicks();
    msg.pt = reg.cursorScreen;
    reg.posted.push_back(msg);
}

// Physical window coordinates to client coordinates: in exclusive mode the client area is the screen
// the window stands for, shown scaled inside its viewport.
POINT clientPointFromWindow(const WindowObject& window, int x, int y)
{
    POINT p { x, y };
    if (!window.exclusive)
        return p;
    SDL_Rect view = platform::exclusiveViewport(window);
    if (view.w <= 0 || view.h <= 0)
        return POINT { 0, 0 };
    long cx = static_cast<long>(x - view.x) * window.screenWidth / view.w;
    long cy = static_cast<long>(y - view.y) * window.screenHeight / view.h;
    p.x = static_cast<LONG>(std::clamp<long>(cx, 0, window.screenWidth - 1));
    p.y = static_cast<LONG>(std::clamp<long>(cy, 0, window.screenHeight - 1));
    return p;
}

WPARAM mouseKeyState()
{
    uint32_t buttons = SDL_GetMouseState(nullptr, nullptr);
    SDL_Keymod mod = SDL_GetModState();
    WPARAM w = 0;
    if (buttons & SDL_BUTTON_LMASK)
        w |= MK_LBUTTON;
    if (buttons & SDL_BUTTON_RMASK)
        w |= MK_RBUTTON;
    if (buttons & SDL_BUTTON_MMASK)
        w |= MK_MBUTTON;
    if (mod & KMOD_SHIFT)
        w |= MK_SHIFT;
    if (mod & KMOD_CTRL)
        w |= MK_CONTROL;
    return w;
}

void postMouse(WindowObject* window, UINT message, int x, int y, WPARAM keys)
{
    POINT client = clientPointFromWindow(*window, x, y);
    POINT origin = clientOrigin(*window);
    registry().cursorScreen = POINT { origin.x + client.x, origin.y + client.y };
    postMessage(window, message, keys, MAKELPARAM(client.x, client.y));
}

void translateKey(const SDL_KeyboardEvent& key)
{
    WindowObject* window = platform::windowFromSdlId(key.windowID);
    if (!window)
        window = platform::liveWindow(registry().mainWindow);
    if (!window)
        return;
    int vk = platform::virtualKeyFromSdl(key.keysym.sym, key.keysym.scancode);
    if (vk == 0)
        return;
    bool down = key.type == SDL_KEYDOWN;
    bool alt = (key.keysym.mod & KMOD_ALT) != 0 || vk == VK_MENU;
    // Key data: repeat count 1, the scan code, Alt, the previous key state and the transition.
    LPARAM data = 1 | (static_cast<LPARAM>(key.keysym.scancode & 0xFF) << 16);
    if (alt && (down || vk != VK_MENU))
        data |= KF_ALTDOWN_BIT;
    if (!down || key.repeat)
        data |= LPARAM { 1 } << 30;
    if (!down)
        data |= LPARAM { 1 } << 31;
    UINT message = down ? (alt || vk == VK_F10 ? WM_SYSKEYDOWN : WM_KEYDOWN)
                        : (alt || vk == VK_F10 ? WM_SYSKEYUP : WM_KEYUP);
    postMessage(window, message, static_cast<WPARAM>(vk), data);
}

void translateWindowEvent(const SDL_WindowEvent& event)
{
    WindowObject* window = platform::windowFromSdlId(event.windowID);
    if (!window)
        return;
    switch (event.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        postMessage(window, WM_SETFOCUS, 0, 0);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        postMessage(window, WM_KILLFOCUS, 0, 0);
        break;
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        window->needsPaint = true;
        break;
    case SDL_WINDOWEVENT_CLOSE:
        postMessage(window, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

void translateEvent(const SDL_Event& event)
{
    auto& reg = registry();
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        translateKey(event.key);
        break;
    case SDL_TEXTINPUT: {
        WindowObject* window = platform::windowFromSdlId(event.text.windowID);
        if (!window)
            window = platform::liveWindow(reg.mainWindow);
        // The platform's ANSI code page is UTF-8: every byte of the text is one character message.
        for (const char* p = event.text.text; window && *p; ++p)
            postMessage(window, WM_CHAR, static_cast<unsigned char>(*p), 1);
        break;
    }
    case SDL_MOUSEMOTION:
        if (WindowObject* window = platform::windowFromSdlId(event.motion.windowID))
            postMouse(window, WM_MOUSEMOVE, event.motion.x, event.motion.y, mouseKeyState());
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        WindowObject* window = platform::windowFromSdlId(event.button.windowID);
        if (!window)
            break;
        bool down = event.type == SDL_MOUSEBUTTONDOWN;
        UINT message = 0;
        WPARAM flag = 0;
        switch (event.button.button) {
        case SDL_BUTTON_LEFT:
            message = down ? (event.button.clicks == 2 ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN) : WM_LBUTTONUP;
            flag = MK_LBUTTON;
            break;
        case SDL_BUTTON_RIGHT:
            message = down ? (event.button.clicks == 2 ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN) : WM_RBUTTONUP;
            flag = MK_RBUTTON;
            break;
        case SDL_BUTTON_MIDDLE:
            message = down ? (event.button.clicks == 2 ? WM_MBUTTONDBLCLK : WM_MBUTTONDOWN) : WM_MBUTTONUP;
            flag = MK_MBUTTON;
            break;
        default:
            break;
        }
        if (message) {
            // The button's own state as the message reports it, whatever SDL's state snapshot says.
            WPARAM keys = mouseKeyState();
            keys = down ? (keys | flag) : (keys & ~flag);
            postMouse(window, message, event.button.x, event.button.y, keys);
        }
        break;
    }
    case SDL_WINDOWEVENT:
        translateWindowEvent(event.window);
        break;
    case SDL_RENDER_TARGETS_RESET:
    case SDL_RENDER_DEVICE_RESET:
        // The textures are gone with the targets; the next present makes them again.
        for (auto& window : reg.windows) {
            if (event.type == SDL_RENDER_DEVICE_RESET)
                platform::releasePresentation(*window);
            else if (window->texture) {
                SDL_DestroyTexture(window->texture);
                window->texture = nullptr;
            }
        }
        ++platform::renderResets;
        break;
    case SDL_QUIT:
        // Interrupts and session ends close the main window the normal way, so its owner saves state.
        if (reg.mainWindow)
            postMessage(reg.mainWindow, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

void pumpEvents()
{
    if (!platform::startVideo())
        return;
    SDL_Event event;
    while (SDL_PollEvent(&event))
        translateEvent(event);
}

bool matches(const MSG& msg, HWND window, UINT first, UINT last)
{
    if (window && msg.hwnd != window)
        return false;
    if (first == 0 && last == 0)
        return true;
    return msg.message >= first && msg.message <= last;
}

void noteRetrieved(const MSG& msg)
{
    auto& reg = registry();
    reg.lastMessagePos = static_cast<DWORD>(MAKELPARAM(msg.pt.x, msg.pt.y));
    if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN || msg.message == WM_KEYUP
        || msg.message == WM_SYSKEYUP) {
        bool down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
        reg.keyDown[msg.wParam & 0xFF] = down;
    }
}

Uint32 timerFired(Uint32 interval, void* parameter)
{
    auto serial = reinterpret_cast<uintptr_t>(parameter);
    auto& reg = registry();
    bool found = false;
    {
        std::lock_guard lock(reg.timerMutex);
        for (auto& [key, timer] : reg.timers)
            if (timer.serial == serial) {
                timer.pending = true;
                found = true;
            }
    }
    if (found) {
        SDL_Event wake {};
        wake.type = reg.wakeEvent;
        SDL_PushEvent(&wake);
    }
    return found ? interval : 0;
}

void stopTimers(HWND window)
{
    auto& reg = registry();
    std::vector<SDL_TimerID> stop;
    {
        std::lock_guard lock(reg.timerMutex);
        for (auto it = reg.timers.begin(); it != reg.timers.end();) {
            if (it->first.first == window) {
                stop.push_back(it->second.sdlTimer);
                it = reg.timers.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (SDL_TimerID id : stop)
        SDL_RemoveTimer(id);
}

}

namespace platform {

bool startVideo()
{
    auto& reg = registry();
    if (reg.started)
        return true;
    if (reg.startFailed)
        return false;
    SDL_SetHint("SDL_QUIT_ON_LAST_WINDOW_CLOSE", "0");
    if (defaultPresentPath() == PresentPath::Framebuffer)
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) {
        platformLog("SDL video start failed: %s\n", SDL_GetError());
        std::fprintf(stderr, "Sublumen: the display cannot be used: %s\n", SDL_GetError());
        reg.startFailed = true;
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    // Without a display SDL falls back to a driver that shows nothing. Unless that driver was asked for
    // by name (automated checks), there is no screen: say so plainly instead of playing to nobody.
    if (driver && (!asked || !*asked) && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy"))) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr,
            "Sublumen: no display to show the movie on (DISPLAY is %s%s); run it from a desktop session.\n",
            display && *display ? "set to " : "not set", display && *display ? display : "");
        platformLog("No display: SDL found only its %s driver, which shows nothing; no window can be made.\n", driver);
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS);
        reg.startFailed = true;
        return false;
    }
    reg.wakeEvent = SDL_RegisterEvents(1);
    reg.started = true;
    return true;
}

PresentPath defaultPresentPath()
{
    const char* path = std::getenv("SUBLUMEN_PRESENT");
    return path && !std::strcmp(path, "texture") ? PresentPath::Texture : PresentPath::Framebuffer;
}

const char* videoDriverName()
{
    return registry().started ? SDL_GetCurrentVideoDriver() : nullptr;
}

WindowObject* windowFromSdlId(uint32_t id)
{
    for (auto& window : registry().windows)
        if (window->sdl && SDL_GetWindowID(window->sdl) == id)
            return window.get();
    return nullptr;
}

WindowObject* liveWindow(HWND handle)
{
    if (!handle)
        return nullptr;
    for (auto& window : registry().windows)
        if (window.get() == handle)
            return window.get();
    return nullptr;
}

uint32_t sdlWindowId(HWND handle)
{
    WindowObject* window = liveWindow(handle);
    return window && window->sdl ? SDL_GetWindowID(window->sdl) : 0;
}

}

ATOM RegisterClassA(const WNDCLASSA* windowClass)
{
    if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc || !*windowClass->lpszClassName)
        return 0;
    auto& reg = registry();
    auto [it, inserted] = reg.classes.emplace(windowClass->lpszClassName, *windowClass);
    if (!inserted)
        return 0;
    return static_cast<ATOM>(0xC000 + reg.classes.size());
}

HWND CreateWindowExA(DWORD, const char* className, const char* windowName, DWORD style, int x, int y, int width,
    int height, HWND, HMENU, HINSTANCE, void*)
{
    auto& reg = registry();
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
    window->path = platform::defaultPresentPath();
    Uint32 flags = SDL_WINDOW_HIDDEN | (bordered(style) ? 0 : SDL_WINDOW_BORDERLESS);
    int w = std::max(1, width), h = std::max(1, height);
    // The renderer path asks for an OpenGL window up front so that creating the renderer later does not
    // recreate the window under the user's hands; drivers without OpenGL get a plain window.
    if (window->path == platform::PresentPath::Texture)
        window->sdl = SDL_CreateWindow(windowName ? windowName : "", x, y, w, h, flags | SDL_WINDOW_OPENGL);
    if (!window->sdl)
        window->sdl = SDL_CreateWindow(windowName ? windowName : "", x, y, w, h, flags);
    if (!window->sdl) {
        platform::platformLog("CreateWindowExA: %s\n", SDL_GetError());
        return nullptr;
    }
    if (SDL_Surface* icon = platform::iconSurface(windowClass.hIcon))
        SDL_SetWindowIcon(window->sdl, icon);
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
    auto& reg = registry();
    window->procedure(handle, WM_DESTROY, 0, 0);
    stopTimers(handle);
    platform::releasePresentation(*window);
    if (window->sdl)
        SDL_DestroyWindow(window->sdl);
    window->sdl = nullptr;
    if (reg.mainWindow == handle)
        reg.mainWindow = nullptr;
    std::erase_if(reg.windows, [&](const auto& w) { return w.get() == window; });
    if (!reg.mainWindow && !reg.windows.empty())
        reg.mainWindow = reg.windows.front().get();
    return TRUE;
}

BOOL IsWindow(HWND window) { return platform::liveWindow(window) ? TRUE : FALSE; }

BOOL MoveWindow(HWND handle, int x, int y, int width, int height, BOOL repaint)
{
    WindowObject* window = platform::liveWindow(handle);
    if (!window)
        return FALSE;
    if (window->exclusive) {
        // The full-screen window keeps covering the screen; the geometry applies when it leaves.
        window->restoreRect = RECT { x, y, x + width, y + height };
        return TRUE;
    }
    Borders b = bordersOf(*window);
    SDL_SetWindowPosition(window->sdl, x + b.left, y + b.top);
    SDL_SetWindowSize(window->sdl, std::max(1, width - b.left - b.right), std::max(1, height - b.top - b.bottom));
    if (repaint)
        window->needsPaint = true;
    return TRUE;
}

BOOL GetClientRect(HWND handle, RECT* rect)
{
    if (!rect)
        return FALSE;
    WindowObject* window = handle == &registry().desktop ? &registry().desktop : platform::liveWindow(handle);
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
    WindowObject* window = handle == &registry().desktop ? &registry().desktop : platform::liveWindow(handle);
    if (!window)
        return FALSE;
    int w = 0, h = 0;
    clientSize(*window, w, h);
    POINT origin = clientOrigin(*window);
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
            SDL_SetWindowAlwaysOnTop(window->sdl, SDL_TRUE);
        else if (insertAfter == HWND_NOTOPMOST)
            SDL_SetWindowAlwaysOnTop(window->sdl, SDL_FALSE);
        else if (insertAfter == HWND_TOP && window->visible)
            SDL_RaiseWindow(window->sdl);
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
        SDL_HideWindow(window->sdl);
        window->visible = false;
    } else {
        SDL_ShowWindow(window->sdl);
        SDL_RaiseWindow(window->sdl);
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
        for (auto& window : registry().windows)
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
    if (!window->exclusive)
        SDL_SetWindowBordered(window->sdl, bordered(window->style) ? SDL_TRUE : SDL_FALSE);
    return previous;
}

LONG GetWindowLongA(HWND handle, int index)
{
    WindowObject* window = platform::liveWindow(handle);
    if (!window || index != GWL_STYLE)
        return 0;
    return static_cast<LONG>(window->style | (window->visible ? WS_VISIBLE : 0));
}

HWND GetDesktopWindow() { return &registry().desktop; }

BOOL ClientToScreen(HWND handle, POINT* point)
{
    WindowObject* window = handle == &registry().desktop ? &registry().desktop : platform::liveWindow(handle);
    if (!window || !point)
        return FALSE;
    POINT origin = clientOrigin(*window);
    point->x += origin.x;
    point->y += origin.y;
    return TRUE;
}

BOOL ScreenToClient(HWND handle, POINT* point)
{
    WindowObject* window = handle == &registry().desktop ? &registry().desktop : platform::liveWindow(handle);
    if (!window || !point)
        return FALSE;
    POINT origin = clientOrigin(*window);
    point->x -= origin.x;
    point->y -= origin.y;
    return TRUE;
}

int ShowCursor(BOOL show)
{
    auto& reg = registry();
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
    auto& reg = registry();
    HCURSOR previous = reg.currentCursor;
    reg.currentCursor = cursor;
    if (cursor && cursor->cursor)
        SDL_SetCursor(cursor->cursor);
    return previous;
}

UINT_PTR SetTimer(HWND handle, UINT_PTR id, UINT milliseconds, TIMERPROC procedure)
{
    if (!platform::liveWindow(handle) || procedure || !platform::startVideo())
        return 0;
    auto& reg = registry();
    KillTimer(handle, id);
    uint64_t serial = 0;
    {
        std::lock_guard lock(reg.timerMutex);
        serial = reg.nextTimerSerial++;
        reg.timers[{ handle, id }] = Timer { 0, serial, false };
    }
    SDL_TimerID sdlTimer = SDL_AddTimer(std::max<UINT>(milliseconds, 10), timerFired,
        reinterpret_cast<void*>(static_cast<uintptr_t>(serial)));
    std::lock_guard lock(reg.timerMutex);
    auto it = reg.timers.find({ handle, id });
    if (!sdlTimer) {
        if (it != reg.timers.end())
            reg.timers.erase(it);
        return 0;
    }
    if (it != reg.timers.end())
        it->second.sdlTimer = sdlTimer;
    return id;
}

BOOL KillTimer(HWND handle, UINT_PTR id)
{
    auto& reg = registry();
    SDL_TimerID sdlTimer = 0;
    {
        std::lock_guard lock(reg.timerMutex);
        auto it = reg.timers.find({ handle, id });
        if (it == reg.timers.end())
            return FALSE;
        sdlTimer = it->second.sdlTimer;
        reg.timers.erase(it);
    }
    if (sdlTimer)
        SDL_RemoveTimer(sdlTimer);
    return TRUE;
}

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type)
{
    bool yesNo = (type & 0xF) == MB_YESNO;
    const char* scripted = std::getenv("SUBLUMEN_MESSAGEBOX_ANSWER");
    if (scripted && *scripted) {
        int answer = IDOK;
        if (yesNo)
            answer = !std::strcmp(scripted, "yes") ? IDYES : IDNO;
        platform::platformLog("MessageBox \"%s\" answered %s by SUBLUMEN_MESSAGEBOX_ANSWER.\n", text ? text : "",
            answer == IDYES ? "Yes" : answer == IDNO ? "No" : "OK");
        return answer;
    }
    if (!platform::startVideo()) {
        // Nothing can be shown; standard error is the one place left where the user may read it.
        std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
        return 0;
    }
    SDL_MessageBoxButtonData okButtons[] = {
        { SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK, "OK" },
    };
    SDL_MessageBoxButtonData yesNoButtons[] = {
        { SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes" },
        { SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No" },
    };
    SDL_MessageBoxData box {};
    box.flags = (type & 0xF0) == MB_ICONWARNING ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_INFORMATION;
    WindowObject* window = platform::liveWindow(owner);
    box.window = window && window->visible ? window->sdl : nullptr;
    box.title = caption ? caption : "";
    box.message = text ? text : "";
    box.numbuttons = yesNo ? 2 : 1;
    box.buttons = yesNo ? yesNoButtons : okButtons;
    int pressed = -1;
    if (SDL_ShowMessageBox(&box, &pressed) != 0) {
        platform::platformLog("MessageBox \"%s\" could not be shown: %s\n", box.message, SDL_GetError());
        std::fprintf(stderr, "%s: %s\n", box.title, box.message);
        return 0;
    }
    if (pressed < 0)
        return yesNo ? IDNO : IDOK;
    return pressed;
}

BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove)
{
    if (!message)
        return FALSE;
    auto& reg = registry();
    pumpEvents();
    for (auto it = reg.posted.begin(); it != reg.posted.end(); ++it) {
        if (!matches(*it, window, first, last))
            continue;
        *message = *it;
        if (remove & PM_REMOVE) {
            reg.posted.erase(it);
            noteRetrieved(*message);
        }
        return TRUE;
    }
    if (reg.quitPending && !window && (first == 0 || (WM_QUIT >= first && WM_QUIT <= last))) {
        *message = MSG {};
        message->message = WM_QUIT;
        message->wParam = static_cast<WPARAM>(reg.quitCode);
        message->time = SDL_GetTicks();
        if (remove & PM_REMOVE)
            reg.quitPending = false;
        return TRUE;
    }
    // Paint and timer messages are made when nothing else waits, as their Win32 counterparts are.
    for (auto& w : reg.windows) {
        MSG paint {};
        paint.hwnd = w.get();
        paint.message = WM_PAINT;
        paint.pt = reg.cursorScreen;
        if (w->needsPaint && w->visible && matches(paint, window, first, last)) {
            *message = paint;
            return TRUE;
        }
    }
    std::lock_guard lock(reg.timerMutex);
    for (auto& [key, timer] : reg.timers) {
        MSG tick {};
        tick.hwnd = key.first;
        tick.message = WM_TIMER;
        tick.wParam = key.second;
        tick.time = SDL_GetTicks();
        tick.pt = reg.cursorScreen;
        if (timer.pending && matches(tick, window, first, last)) {
            *message = tick;
            if (remove & PM_REMOVE) {
                timer.pending = false;
                noteRetrieved(tick);
            }
            return TRUE;
        }
    }
    return FALSE;
}

BOOL WaitMessage()
{
    MSG msg;
    while (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        // Without video nothing can wake the wait; poll the queue slowly instead of spinning.
        if (!platform::startVideo())
            SDL_Delay(10);
        else
            SDL_WaitEventTimeout(nullptr, 1000);
    }
    return TRUE;
}

BOOL TranslateMessage(const MSG* message)
{
    // Character messages come from SDL's text input, queued right after their key message.
    return message && (message->message == WM_KEYDOWN || message->message == WM_SYSKEYDOWN) ? TRUE : FALSE;
}

LRESULT DispatchMessageA(const MSG* message)
{
    if (!message)
        return 0;
    WindowObject* window = platform::liveWindow(message->hwnd);
    if (!window)
        return 0;
    return window->procedure(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowObject* window = platform::liveWindow(handle);
    if (!window)
        return 0;
    return window->procedure(handle, message, wParam, lParam);
}

BOOL PostMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (handle && !platform::liveWindow(handle))
        return FALSE;
    postMessage(handle, message, wParam, lParam);
    return TRUE;
}

void PostQuitMessage(int exitCode)
{
    auto& reg = registry();
    reg.quitPending = true;
    reg.quitCode = exitCode;
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

DWORD GetMessagePos() { return registry().lastMessagePos; }

short GetKeyState(int virtualKey)
{
    if (virtualKey < 0 || virtualKey > 255)
        return 0;
    return registry().keyDown[virtualKey] ? static_cast<short>(0x8000) : 0;
}

int TranslateAcceleratorA(HWND window, HACCEL table, MSG* message)
{
    if (!window || !table || !message || !platform::liveWindow(window))
        return 0;
    if (message->message != WM_KEYDOWN && message->message != WM_SYSKEYDOWN)
        return 0;
    bool alt = (message->lParam & KF_ALTDOWN_BIT) != 0;
    bool control = GetKeyState(VK_CONTROL) & 0x8000;
    bool shift = GetKeyState(VK_SHIFT) & 0x8000;
    WORD command = 0;
    if (!platform::findAccelerator(table, static_cast<int>(message->wParam), alt, control, shift, command))
        return 0;
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(command, 1), 0);
    return 1;
}
