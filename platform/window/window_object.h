// The window record behind an HWND, shared by the SDL window files of the platform.
#pragma once

#include "platform/picture_scaling.h"
#include "platform/window/window.h"

#include <SDL.h>

#include <cstdint>
#include <string>
#include <thread>

namespace platform {

enum class PresentPath { Texture, Framebuffer };

}

struct WindowObject {
    SDL_Window* sdl = nullptr;
    WNDPROC procedure = nullptr;
    std::string className;
    DWORD style = 0;
    bool isDesktop = false;
    bool visible = false;
    bool needsPaint = false;

    // Exclusive full screen: the window covers the desktop and stands for a screen of this size.
    bool exclusive = false;
    int screenWidth = 0;
    int screenHeight = 0;
    RECT restoreRect {};
    bool restoreVisible = false;

    // Presentation: a renderer with one streaming texture, or the window's own framebuffer.
    platform::PresentPath path = platform::PresentPath::Texture;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    uint32_t textureFormat = 0;
    int textureWidth = 0;
    int textureHeight = 0;
    // Scales a full-screen mode's picture into the framebuffer when no GPU does it.
    platform::PictureScaler scaler;
};

namespace platform {

// The live window for an SDL window id, null when none.
WindowObject* windowFromSdlId(uint32_t id);
// The live window behind a handle, null for a stale or foreign handle (the desktop included).
WindowObject* liveWindow(HWND window);
// Where the picture of a window in exclusive mode lands inside its physical client area.
SDL_Rect exclusiveViewport(const WindowObject& window);
// Releases the renderer and texture of a window that goes away.
void releasePresentation(WindowObject& window);
// Brings up SDL's video, timer and event parts once; false when SDL cannot start.
bool startVideo();
PresentPath defaultPresentPath();
// Render-target and device resets reported by SDL so far.
extern uint32_t renderResets;

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

// While a message box is up: a signal that ends the program (interrupt, terminate, hang-up) closes
// the box, as its default button would, instead of waiting for the user.
class BoxSignalWatch {
public:
    BoxSignalWatch();
    ~BoxSignalWatch();
    BoxSignalWatch(const BoxSignalWatch&) = delete;
    BoxSignalWatch& operator=(const BoxSignalWatch&) = delete;
    // True when such a signal arrived while the watch stood.
    bool endAsked() const;

private:
    std::thread watcher;
};

}

namespace platform {

SDL_Surface* iconSurface(HICON icon);
SDL_Surface* surfaceFromXpm(const char* const* xpm, size_t lineCount);
// The command for a virtual key with these modifiers in an accelerator table.
bool findAccelerator(HACCEL table, int key, bool alt, bool control, bool shift, WORD& command);

}
