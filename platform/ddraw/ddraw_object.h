// The state behind a DirectDraw object, shared by the DirectDraw, surface and clipper files. Internal to
// the DirectDraw stand-in.
#pragma once

#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/display_driver.h"

#include <vector>

namespace platform {

// The state behind one DirectDraw object: its cooperative level, display mode, and the surfaces and
// clippers it made (it owns their memory).
class DirectDrawObject {
public:
    explicit DirectDrawObject(DesktopMode desktop)
        : desktop(desktop)
    {
    }
    ~DirectDrawObject()
    {
        restoreMode();
        // Destroying the object destroys what it made, whatever references are still held.
        closing = true;
        for (IDirectDrawSurface* surface : surfaces)
            surface->destroy();
        for (IDirectDrawSurface* surface : surfaces)
            delete surface;
        for (IDirectDrawClipper* clipper : clippers)
            delete clipper;
    }

    PixelFormat displayFormat() const { return modeSet ? modeFormat : desktop.format; }
    int screenWidth() const { return modeSet ? modeWidth : desktop.width; }
    int screenHeight() const { return modeSet ? modeHeight : desktop.height; }

    void restoreMode()
    {
        if (!modeSet)
            return;
        displayDriver().leaveFullScreen(cooperativeWindow);
        modeSet = false;
    }

    void forget(IDirectDrawSurface* surface) { std::erase(surfaces, surface); }
    void forget(IDirectDrawClipper* clipper) { std::erase(clippers, clipper); }

    DesktopMode desktop;
    bool closing = false;
    bool levelSet = false;
    bool exclusive = false;
    HWND cooperativeWindow = nullptr;
    bool modeSet = false;
    int modeWidth = 0;
    int modeHeight = 0;
    PixelFormat modeFormat = PixelFormat::XRGB8888;
    IDirectDrawSurface* primary = nullptr;
    std::vector<IDirectDrawSurface*> surfaces;
    std::vector<IDirectDrawClipper*> clippers;
};

// A surface description whose size field names a layout this stand-in reads and writes.
inline bool sizeAccepted(DWORD size) { return size == publishedSurfaceDescSize || size == sizeof(DDSURFACEDESC); }

}
