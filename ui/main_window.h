// The one main window: its class, creation, size and placement, and the window procedure.
#pragma once

#include "platform/window/window.h"

#include <cstdint>
#include <optional>

struct DropObject;

namespace sublumen {

struct System;

constexpr UINT_PTR cursorTimer = 100;
constexpr UINT cursorTimerPeriod = 1000;
// Seconds without a mouse message before the timer hides the cursor.
constexpr uint32_t cursorHideSeconds = 5;

// Registers the class, creates the hidden window, sizes it and sets its z-order; 0, or -2 when the
// window cannot be created (logged and told to the user).
int initWindow(System& sys);
// Gives the main window a client area of screenx × screeny and centres it on the desktop; 0.
int sizeWindow(System& sys);
// True when a window can have a client area of width × height: both positive and, when the desktop's size
// is known, within it.
bool windowSizeFits(int32_t width, int32_t height);
// A screenx × screeny that no window can take becomes 640 × 480, logged; 0, or -1 when it fell back.
int fitWindowSize(System& sys);
// Centres a window on the desktop's client area, keeping its size and z-order.
void centreWindow(HWND window);
// Fills a window class and registers it; the class atom.
ATOM registerWindowClass(UINT style, WNDPROC procedure, int classExtra, int windowExtra, HINSTANCE instance,
    HICON icon, HCURSOR cursor, HBRUSH background, const char* menuName, const char* className);

// The main window's message handling for sys.
LRESULT windowProcedure(System& sys, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The procedure of the window class; it serves the System that initWindow was given.
LRESULT mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Opens the files of a drop on the window (a movie or list starts, a caption file loads) and frees it.
void dropFiles(System& sys, DropObject* drop);
// Seeks the current stream to the horizontal position of the message being handled.
void clickSeek(System& sys);
// The time a click at client x stands for: the duration spread over screenx pixels, truncated, within
// 0..duration. Null when screenx has no pixels.
std::optional<uint32_t> clickSeekTarget(uint32_t duration, int32_t screenx, int32_t x);

}
