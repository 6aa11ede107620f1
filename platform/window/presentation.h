// Showing pixels in a window, and the exclusive full-screen mode of a window.
#pragma once

#include "platform/surface.h"
#include "platform/win32.h"

#include <cstdint>

namespace platform {

// Turns the window into a shown, focused, borderless window covering the desktop that stands for a
// screen of width × height: its client area, window rectangle and mouse coordinates are reported in
// that screen, and pictures shown in it are scaled to fill the desktop with their aspect kept.
bool enterExclusiveMode(HWND window, int width, int height);
// Gives the window back its style, geometry and visibility from before exclusive mode.
void leaveExclusiveMode(HWND window);
bool inExclusiveMode(HWND window);

// Shows sourceRect of source in destination (client coordinates), clipped to the client area, on a
// black client area. False when nothing could be shown.
bool presentToWindow(HWND window, const Surface& source, const RECT& sourceRect, const RECT& destination);
// What the window's framebuffer shows now, as XRGB8888 at the window's physical size; false when the
// window shows nothing through its framebuffer (a renderer presents it, or it was never shown).
bool readShownPicture(HWND window, Surface& picture);
// Like presentToWindow; besides, when source fills the client area of a window shown through its
// framebuffer 1:1 and in the framebuffer's layout, the framebuffer's memory is lent to source: it then
// holds source's pixels, and while that stays so, presenting source again only shows the framebuffer.
// The loan ends (source takes its pixels back) before anything could free that memory: another
// present, a resize, full screen, the window's end, or endWindowPixelLoan.
bool presentToWindowLending(HWND window, Surface& source, const RECT& sourceRect, const RECT& destination);
// Ends the loan that surface holds, if any; called before surface goes away.
void endWindowPixelLoan(Surface& surface);
// A copy of what the window's framebuffer holds (what it shows on that path); false without one.
bool windowFramebufferPixels(HWND window, Surface& shown);
// How often SDL reported that render targets or the render device were reset.
uint32_t presentationResets();

}
