// The window record behind an HWND, shared by the SDL window files of the platform.
#pragma once

#include "platform/screen/screen.h"
#include "platform/window/window.h"

#include <SDL.h>

#include <cstdint>
#include <string>
#include <thread>

struct WindowObject {
    // The window's picture and its SDL window; none for the desktop.
    platform::Screen screen;
    WNDPROC procedure = nullptr;
    std::string className;
    DWORD style = 0;
    bool isDesktop = false;
    bool visible = false;
    bool needsPaint = false;
    // Where the window stood, and whether it was shown, before exclusive full screen.
    RECT restoreRect {};
    bool restoreVisible = false;

    SDL_Window* sdl() const { return screen.window(); }
};

namespace platform {

// The live window for an SDL window id, null when none.
WindowObject* windowFromSdlId(uint32_t id);
// The live window behind a handle, null for a stale or foreign handle (the desktop included).
WindowObject* liveWindow(HWND window);
// Brings up SDL's video, timer and event parts once; false when SDL cannot start.
bool startVideo();

// Key translation: the Win32 virtual-key code for an SDL keycode and scancode, 0 when it has none.
int virtualKeyFromSdl(int32_t keycode, int scancode);
// Counts every key as released: the window lost or gained the keyboard, or is about to.
void forgetHeldKeys();
// Takes in the events already delivered, then counts every key as released; called when a window
// leaves the screen or comes back onto it.
void settleKeyboard();
// On X, a failed request is logged instead of ending the process (Xlib's default), and a lost
// display runs the handler set with setDisplayLostHandler before the process ends.
void surviveDisplayErrors();
// A hang-up (the terminal closed) ends the program as a terminate signal does, unless it is ignored.
void takeHangUpAsTerminate();

}

namespace platform {

SDL_Surface* iconSurface(HICON icon);
SDL_Surface* surfaceFromXpm(const char* const* xpm, size_t lineCount);
// The command for a virtual key with these modifiers in an accelerator table.
bool findAccelerator(HACCEL table, int key, bool alt, bool control, bool shift, WORD& command);

}
