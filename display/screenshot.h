// Screenshots: F12 saves the shown picture with its captions, Shift+F12 the movie's frame alone at the
// movie's own size, as PNG files in the desktop's pictures folder. The pixels are copied here on the
// main thread; the platform's writer encodes and saves them on its own thread, and its results come
// back once per idle turn as a notice on the status bar's line.
#pragma once

#include "display/frame_drawing.h"
#include "platform/surface.h"
#include "platform/win32.h"

#include <cstdint>
#include <string>

namespace sublumen {

struct System;

// Sent by the writer's thread after each file, to wake a paused window; the window procedure ignores it.
constexpr UINT WM_SCREENSHOTSAVED = 0x8000 + 0x20;

// The key: the composed picture (taken from the next composed frame) or the movie's frame (taken now).
// Without a shown movie, or when the pictures folder can neither be made nor written, nothing is taken.
void requestScreenshot(System& sys, bool movieFrameOnly);
// In composeFrame after the picture, the status bar and the captions, before the overlay and the notice:
// the composed picture for every F12 press since the last frame.
void takeComposedScreenshots(System& sys);
// The same from the pixels of an enlarged screen (its status bar and captions drawn at its resolution).
void takeComposedScreenshotsOf(System& sys, const platform::PixelView* screen);
// Once per idle turn: the writer's results go to the log and the notice (display/notice.h).
void noteSavedScreenshots(System& sys);
// Whether a paused window has to compose a frame: an F12 press waits for one.
bool screenshotFrameWanted(const System& sys);
// A path as the status bar shows it: the home folder as "~", and UTF-8 whatever its bytes.
std::string shownPath(const std::string& path);
// The file name without ".png" for a movie path and movie time: "<movie>-<hh.mm.ss.mmm>", the movie
// named by its file name without the suffix, with control characters and slashes of any script
// replaced, a leading dot taken off, and cut to leave room for the rest.
std::string screenshotName(const char* moviePath, uint32_t milliseconds);

}
