// The screens behind window handles: what the display driver and the checks of the picture reach a
// window's screen through, and exclusive full screen as the window itself sees it.
#pragma once

#include "platform/surface.h"
#include "platform/win32.h"

namespace platform {

class Screen;

// The screen of a live window, null for a stale handle or the desktop.
Screen* screenOf(HWND window);
// The screen of the main window, null without one.
Screen* mainScreen();

// Turns the window into a shown, focused, borderless window covering the desktop that stands for a
// screen of width × height: its client area, window rectangle and mouse coordinates are reported in
// that screen, and pictures shown in it are scaled to fill the desktop with their aspect kept.
bool enterExclusiveMode(HWND window, int width, int height);
// Gives the window back its style, geometry and visibility from before exclusive mode.
void leaveExclusiveMode(HWND window);
bool inExclusiveMode(HWND window);

// Screen::present and Screen::readShown of the window's screen; false without one.
bool presentToWindow(HWND window, ConstPixelView source, const RECT& sourceRect, const RECT& destination);
bool readShownPicture(HWND window, Surface& picture);
// Like readShownPicture, and false when the window does not show its pictures through its framebuffer.
bool windowFramebufferPixels(HWND window, Surface& shown);

}
