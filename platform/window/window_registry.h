// The state the SDL window files share: the registered classes, the live windows, the posted messages
// and the timers, and the start of SDL's video. Internal to the window stand-in.
#pragma once

#include "platform/window/window_object.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

struct Timer {
    SDL_TimerID sdlTimer = 0;
    uint64_t serial = 0;
    bool pending = false;
};

struct WindowRegistry {
    WindowRegistry() { desktop.isDesktop = true; }

    bool started = false;
    bool startFailed = false;
    // The event that wakes the queue for a timer, and the one that brings messages posted by other
    // threads (read by them too); registered when video starts.
    uint32_t wakeEvent = 0;
    std::atomic<uint32_t> crossThreadEvent { 0 };
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
    // What the input method is composing, as its last WM_IME_COMPOSITION said (UTF-8).
    std::string composition;

    // The timers are touched by SDL's timer thread; everything else belongs to the main thread.
    std::mutex timerMutex;
    std::map<std::pair<HWND, UINT_PTR>, Timer> timers;
    uint64_t nextTimerSerial = 1;
};

WindowRegistry& windowRegistry();

// Top-left of the client area in screen coordinates.
POINT clientOrigin(const WindowObject& window);
// The scale the desktop's geometry is given in: the main window's (the desktop's scale, or less where
// its client area would not fit at it; 1 where the compositor gives it in logical units), so that
// placing the window on the desktop adds up.
double desktopScale();
int unscaledByDesktop(int pixels);
// Stops and forgets every timer of a window that goes away.
void stopTimers(HWND window);

}
