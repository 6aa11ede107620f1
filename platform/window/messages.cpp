// SDL events turned into window messages, the message queue and its pump.
#include "platform/window/drop_files.h"
#include "platform/window/window_registry.h"

#include <algorithm>
#include <atomic>

namespace {

// Messages posted by other threads, moved into the queue by the main thread when their event arrives.
// Apart from the registry, which only the main thread touches.
struct CrossThreadPosts {
    std::mutex mutex;
    std::deque<MSG> messages;
    std::atomic<uint32_t> event { 0 };
};

CrossThreadPosts& crossThreadPosts()
{
    static CrossThreadPosts posts;
    return posts;
}

MSG makeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg {};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = SDL_GetTicks();
    return msg;
}

void postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto& reg = platform::windowRegistry();
    MSG msg = makeMessage(window, message, wParam, lParam);
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
    POINT origin = platform::clientOrigin(*window);
    platform::windowRegistry().cursorScreen = POINT { origin.x + client.x, origin.y + client.y };
    postMessage(window, message, keys, MAKELPARAM(client.x, client.y));
}

void translateKey(const SDL_KeyboardEvent& key)
{
    WindowObject* window = platform::windowFromSdlId(key.windowID);
    if (!window)
        window = platform::liveWindow(platform::windowRegistry().mainWindow);
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
        // Focus that comes back within a moment keeps SDL's key state, releases missed meanwhile
        // included; keys really held are pressed again after this event.
        platform::forgetHeldKeys();
        postMessage(window, WM_SETFOCUS, 0, 0);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        platform::forgetHeldKeys();
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
    auto& reg = platform::windowRegistry();
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
    case SDL_DROPBEGIN:
        platform::beginDrop(event.drop.windowID);
        break;
    case SDL_DROPFILE:
    case SDL_DROPTEXT:
    case SDL_DROPCOMPLETE: {
        HDROP drop = nullptr;
        if (event.type == SDL_DROPFILE)
            drop = platform::addDroppedFile(event.drop.windowID, event.drop.file);
        else if (event.type == SDL_DROPCOMPLETE)
            drop = platform::completeDrop(event.drop.windowID);
        // SDL hands the text over to whoever takes the event.
        SDL_free(event.drop.file);
        if (drop) {
            WindowObject* window = platform::windowFromSdlId(platform::dropWindowId(drop));
            if (!window)
                window = platform::liveWindow(reg.mainWindow);
            if (window)
                postMessage(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
            else
                DragFinish(drop);
        }
        break;
    }
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
        if (event.type == crossThreadPosts().event && event.type != 0) {
            std::deque<MSG> arrived;
            {
                std::lock_guard lock(crossThreadPosts().mutex);
                arrived.swap(crossThreadPosts().messages);
            }
            // A window gone meanwhile gets nothing.
            for (const MSG& msg : arrived)
                if (platform::liveWindow(msg.hwnd))
                    postMessage(msg.hwnd, msg.message, msg.wParam, msg.lParam);
        }
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

}

namespace platform {

// A window without the keyboard (off the screen, or another one has it) is never told of a release,
// and a window that takes the keyboard back within a moment keeps the old key state. A lost Alt
// release would make every later key a system key, which the window ignores: the keyboard would seem
// dead for good. Keys really held are pressed again when the window has the keyboard back.
void forgetHeldKeys()
{
    if (windowRegistry().started)
        SDL_ResetKeyboard();
}

// Events delivered before a window left or came back onto the screen may hold a press whose release
// went nowhere (an Alt pressed just before the window was hidden): they are translated first, so that
// the reset comes after them and no stale press is counted again.
void settleKeyboard()
{
    if (!windowRegistry().started)
        return;
    pumpEvents();
    forgetHeldKeys();
}

}

namespace {

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
    auto& reg = platform::windowRegistry();
    reg.lastMessagePos = static_cast<DWORD>(MAKELPARAM(msg.pt.x, msg.pt.y));
    if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN || msg.message == WM_KEYUP
        || msg.message == WM_SYSKEYUP) {
        bool down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
        reg.keyDown[msg.wParam & 0xFF] = down;
    }
}

}

BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove)
{
    if (!message)
        return FALSE;
    auto& reg = platform::windowRegistry();
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
    auto& reg = platform::windowRegistry();
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

DWORD GetMessagePos() { return platform::windowRegistry().lastMessagePos; }

short GetKeyState(int virtualKey)
{
    if (virtualKey < 0 || virtualKey > 255)
        return 0;
    return platform::windowRegistry().keyDown[virtualKey] ? static_cast<short>(0x8000) : 0;
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

void platform::startCrossThreadPosts(uint32_t eventType)
{
    crossThreadPosts().event = eventType;
}

bool platform::postMessageFromThread(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CrossThreadPosts& posts = crossThreadPosts();
    const uint32_t type = posts.event;
    if (!type)
        return false;
    {
        std::lock_guard lock(posts.mutex);
        // No cursor position: the registry belongs to the main thread.
        posts.messages.push_back(makeMessage(window, message, wParam, lParam));
    }
    SDL_Event wake {};
    wake.type = type;
    return SDL_PushEvent(&wake) == 1;
}
