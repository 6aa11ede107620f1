// The message queue and its pump: what happens to the screens becomes window messages.
#include "platform/screen/screen_events.h"
#include "platform/window/drop_files.h"
#include "platform/window/window_registry.h"


namespace {

// Messages posted by other threads, moved into the queue by the main thread when their event arrives.
// Apart from the registry, which only the main thread touches.
struct CrossThreadPosts {
    std::mutex mutex;
    std::deque<MSG> messages;
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

WPARAM mouseKeys(unsigned held)
{
    using platform::ScreenEvent;
    WPARAM w = 0;
    if (held & ScreenEvent::leftHeld)
        w |= MK_LBUTTON;
    if (held & ScreenEvent::rightHeld)
        w |= MK_RBUTTON;
    if (held & ScreenEvent::middleHeld)
        w |= MK_MBUTTON;
    if (held & ScreenEvent::shiftHeld)
        w |= MK_SHIFT;
    if (held & ScreenEvent::controlHeld)
        w |= MK_CONTROL;
    return w;
}

void postMouse(WindowObject* window, UINT message, const platform::ScreenEvent& event)
{
    POINT origin = platform::clientOrigin(*window);
    platform::windowRegistry().cursorScreen = POINT { origin.x + event.point.x, origin.y + event.point.y };
    postMessage(window, message, mouseKeys(event.held), MAKELPARAM(event.point.x, event.point.y));
}

// The window an event names, else (for keys, text and drops) the main window.
WindowObject* windowOrMain(uint32_t id)
{
    WindowObject* window = platform::windowFromSdlId(id);
    return window ? window : platform::liveWindow(platform::windowRegistry().mainWindow);
}

void translateKey(const platform::ScreenEvent& key)
{
    WindowObject* window = windowOrMain(key.window);
    if (!window)
        return;
    int vk = platform::virtualKeyFromSdl(key.keycode, key.scancode);
    if (vk == 0)
        return;
    bool down = key.down;
    bool alt = key.alt || vk == VK_MENU;
    // Key data: repeat count 1, the scan code, Alt, the previous key state and the transition.
    LPARAM data = 1 | (static_cast<LPARAM>(key.scancode & 0xFF) << 16);
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

UINT buttonMessage(const platform::ScreenEvent& event)
{
    using Button = platform::ScreenEvent::Button;
    const bool twice = event.clicks == 2;
    switch (event.button) {
    case Button::Left:
        return event.down ? (twice ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN) : WM_LBUTTONUP;
    case Button::Right:
        return event.down ? (twice ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN) : WM_RBUTTONUP;
    case Button::Middle:
        return event.down ? (twice ? WM_MBUTTONDBLCLK : WM_MBUTTONDOWN) : WM_MBUTTONUP;
    default:
        return 0;
    }
}

void takeCrossThreadPosts()
{
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

void postDrop(HDROP drop)
{
    if (!drop)
        return;
    if (WindowObject* window = windowOrMain(platform::dropWindowId(drop)))
        postMessage(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    else
        DragFinish(drop);
}

void translateEvent(const platform::ScreenEvent& event)
{
    using Kind = platform::ScreenEvent::Kind;
    auto& reg = platform::windowRegistry();
    WindowObject* window = platform::windowFromSdlId(event.window);
    switch (event.kind) {
    case Kind::Key:
        translateKey(event);
        break;
    case Kind::Text:
        window = windowOrMain(event.window);
        // The platform's ANSI code page is UTF-8: every byte of the text is one character message.
        for (const char* p = event.text.c_str(); window && *p; ++p)
            postMessage(window, WM_CHAR, static_cast<unsigned char>(*p), 1);
        // The syllable being composed is done once it comes as typed text.
        if (event.text == reg.composition)
            reg.composition.clear();
        break;
    case Kind::Composition:
        window = windowOrMain(event.window);
        if (!window || event.text == reg.composition)
            break;
        reg.composition = event.text;
        postMessage(window, WM_IME_COMPOSITION, 0, 0);
        break;
    case Kind::MouseMove:
        if (window)
            postMouse(window, WM_MOUSEMOVE, event);
        break;
    case Kind::MouseButton:
        if (UINT message = buttonMessage(event); window && message)
            postMouse(window, message, event);
        break;
    case Kind::Focus:
        if (!window)
            break;
        // Focus that comes back within a moment keeps SDL's key state, releases missed meanwhile
        // included; keys really held are pressed again after this event.
        platform::forgetHeldKeys();
        postMessage(window, event.down ? WM_SETFOCUS : WM_KILLFOCUS, 0, 0);
        break;
    case Kind::Expose:
        if (window)
            window->needsPaint = true;
        break;
    case Kind::Close:
        if (window)
            postMessage(window, WM_CLOSE, 0, 0);
        break;
    case Kind::DropBegin:
        platform::beginDrop(event.window);
        break;
    case Kind::DropFile:
        postDrop(platform::addDroppedFile(event.window, event.text.c_str()));
        break;
    case Kind::DropComplete:
        postDrop(platform::completeDrop(event.window));
        break;
    case Kind::RenderReset:
        for (auto& shown : reg.windows)
            shown->screen.renderReset(event.deviceLost);
        break;
    case Kind::Quit:
        // Interrupts and session ends close the main window the normal way, so its owner saves state.
        if (reg.mainWindow)
            postMessage(reg.mainWindow, WM_CLOSE, 0, 0);
        break;
    case Kind::Wake:
        if (event.wakeType == reg.crossThreadEvent)
            takeCrossThreadPosts();
        break;
    }
}

void pumpEvents()
{
    if (!platform::startVideo())
        return;
    auto geometryOf = [](uint32_t id, platform::ScreenGeometry& geometry) {
        WindowObject* window = platform::windowFromSdlId(id);
        if (window)
            geometry = window->screen.geometry();
        return window != nullptr;
    };
    platform::ScreenEvent event;
    while (platform::pollScreenEvent(event, geometryOf))
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

bool platform::postMessageFromThread(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CrossThreadPosts& posts = crossThreadPosts();
    const uint32_t type = windowRegistry().crossThreadEvent;
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
