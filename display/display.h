// The display and surface objects: every DirectDraw object of the system, the surfaces a frame passes
// through, and how the composed frame is shown (flip chain in full screen, a blit into the window).
#pragma once

#include "platform/ddraw/ddraw.h"
#include "platform/win32.h"

#include <cstdint>
#include <memory>

namespace sublumen {

enum class DisplayState : int32_t { Empty = 0, Setup = 1, FullScreen = 2, Windowed = 3 };

enum class SurfaceKind : int32_t { OffScreen = 0, Primary = 1, AttachedBack = 2 };

// One surface interface, with its size and depth read at construction.
class DisplaySurface {
public:
    DisplaySurface(IDirectDrawSurface* surface, SurfaceKind kind);
    DisplaySurface(const DisplaySurface&) = delete;
    DisplaySurface& operator=(const DisplaySurface&) = delete;

    // The surface's device context, null when it cannot be had; pair with releaseDC.
    HDC getDC();
    HRESULT releaseDC(HDC dc);
    HRESULT flip(DisplaySurface* override, DWORD flags);
    // Gives back the owned reference (none for an attached back buffer) and forgets the interface.
    void release();

    SurfaceKind kind;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t bitsPerPixel = 0;
    IDirectDrawSurface* surface;
};

// The DirectDraw object and the primary and back surfaces. Always yields an object; a missing
// DirectDraw object shows in the failures of the mode setters.
class Display {
public:
    Display();
    ~Display();
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    // -1 without DirectDraw, -2 when refused, else 0.
    int setCooperativeLevel(HWND window, DWORD flags);
    // -1 without DirectDraw or when refused, else 0.
    int setDisplayMode(int width, int height, int bpp);
    void releaseSurfaces();
    // Exclusive full screen at width × height × bpp with a flip chain: 0, or -1 no DirectDraw, -2
    // cooperative level, -3 mode, -4 flip chain.
    int setFullScreenMode(HWND window, int width, int height, int bpp);
    // -1 when the chain's primary cannot be made; a missing back buffer leaves `back` null.
    int createFlipChain();
    // The window's primary clipped to it and an off-screen back surface: 0, or -1 no DirectDraw, -2
    // cooperative level, -3 primary, -4 wrapper, -6 clipper, -7 clipper binding, -8 back surface.
    int setWindowMode(HWND window, int width, int height);
    // A new off-screen surface in the display's format, null on failure.
    DisplaySurface* createOffScreenSurface(int width, int height);
    // Shows the back surface: -1 without surfaces, 1 when the full-screen primary was lost, else 0.
    int present();
    // Releases the surfaces and the DirectDraw object, restoring the desktop mode after full screen.
    void shutdown();

    DisplayState state = DisplayState::Empty;
    std::unique_ptr<DisplaySurface> primary;
    std::unique_ptr<DisplaySurface> back;
    IDirectDraw* directDraw = nullptr;
    IDirectDraw7* directDraw7 = nullptr;
    HRESULT ddResult = DD_OK;
};

}
