#include "display/display.h"

#include "platform/window/window.h"

#include <cstring>
#include <new>

namespace sublumen {

namespace {

DDSURFACEDESC zeroedDescription()
{
    DDSURFACEDESC description;
    std::memset(&description, 0, sizeof description);
    description.dwSize = sizeof description;
    return description;
}

// Releases a surface whose wrapper could not be made, or a wrapper's surface, and deletes the wrapper.
void releaseAndDelete(std::unique_ptr<DisplaySurface>& wrapper)
{
    if (!wrapper)
        return;
    wrapper->release();
    wrapper.reset();
}

}

DisplaySurface::DisplaySurface(IDirectDrawSurface* surface, SurfaceKind kind)
    : kind(kind)
    , surface(surface)
{
    if (!surface)
        return;
    DDSURFACEDESC description = zeroedDescription();
    if (FAILED(surface->GetSurfaceDesc(&description)))
        return;
    width = static_cast<int32_t>(description.dwWidth);
    height = static_cast<int32_t>(description.dwHeight);
    bitsPerPixel = description.ddpfPixelFormat.dwRGBBitCount;
}

HDC DisplaySurface::getDC()
{
    HDC dc = nullptr;
    if (!surface || FAILED(surface->GetDC(&dc)))
        return nullptr;
    return dc;
}

HRESULT DisplaySurface::releaseDC(HDC dc)
{
    if (!surface)
        return DDERR_INVALIDOBJECT;
    return surface->ReleaseDC(dc);
}

HRESULT DisplaySurface::flip(DisplaySurface* override, DWORD flags)
{
    if (!surface)
        return DDERR_INVALIDOBJECT;
    return surface->Flip(override ? override->surface : nullptr, flags);
}

void DisplaySurface::release()
{
    // The back buffer of a flip chain belongs to its primary and goes with it.
    if (surface && (kind == SurfaceKind::OffScreen || kind == SurfaceKind::Primary))
        surface->Release();
    surface = nullptr;
}

Display::Display()
{
    ddResult = DirectDrawCreate(nullptr, &directDraw, nullptr);
    if (FAILED(ddResult)) {
        directDraw = nullptr;
        return;
    }
    void* object = nullptr;
    ddResult = directDraw->QueryInterface(IID_IDirectDraw7, &object);
    if (FAILED(ddResult))
        return;
    directDraw7 = static_cast<IDirectDraw7*>(object);
    state = DisplayState::Setup;
}

Display::~Display() { shutdown(); }

int Display::setCooperativeLevel(HWND window, DWORD flags)
{
    if (!directDraw)
        return -1;
    ddResult = directDraw->SetCooperativeLevel(window, flags);
    return FAILED(ddResult) ? -2 : 0;
}

int Display::setDisplayMode(int width, int height, int bpp)
{
    if (!directDraw)
        return -1;
    ddResult = directDraw->SetDisplayMode(static_cast<DWORD>(width), static_cast<DWORD>(height), static_cast<DWORD>(bpp));
    return FAILED(ddResult) ? -1 : 0;
}

void Display::releaseSurfaces()
{
    if (state == DisplayState::Setup && back)
        releaseAndDelete(back);
    if (primary)
        releaseAndDelete(primary);
}

int Display::setFullScreenMode(HWND window, int width, int height, int bpp)
{
    if (!directDraw)
        return -1;
    releaseSurfaces();
    state = DisplayState::Setup;
    if (setCooperativeLevel(window, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX) < 0)
        return -2;
    if (setDisplayMode(width, height, bpp) < 0)
        return -3;
    if (createFlipChain() < 0)
        return -4;
    state = DisplayState::FullScreen;
    return 0;
}

int Display::createFlipChain()
{
    releaseSurfaces();
    DDSURFACEDESC description = zeroedDescription();
    description.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    description.dwBackBufferCount = 1;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    IDirectDrawSurface* surface = nullptr;
    ddResult = directDraw->CreateSurface(&description, &surface, nullptr);
    if (FAILED(ddResult))
        return -1;
    primary.reset(new (std::nothrow) DisplaySurface(surface, SurfaceKind::Primary));
    if (!primary) {
        surface->Release();
        return -1;
    }
    back.reset();
    DDSCAPS caps { DDSCAPS_BACKBUFFER };
    IDirectDrawSurface* attached = nullptr;
    ddResult = primary->surface->GetAttachedSurface(&caps, &attached);
    if (SUCCEEDED(ddResult))
        back.reset(new (std::nothrow) DisplaySurface(attached, SurfaceKind::AttachedBack));
    // A missing back buffer is reported by the caller, which needs one.
    return 0;
}

int Display::setWindowMode(HWND window, int width, int height)
{
    if (!directDraw)
        return -1;
    releaseSurfaces();
    state = DisplayState::Setup;

    RECT frame {};
    GetWindowRect(window, &frame);
    directDraw->RestoreDisplayMode();
    MoveWindow(window, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top, FALSE);

    if (setCooperativeLevel(nullptr, DDSCL_NORMAL) < 0)
        return -2;

    DDSURFACEDESC description = zeroedDescription();
    description.dwFlags = DDSD_CAPS;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface* surface = nullptr;
    ddResult = directDraw->CreateSurface(&description, &surface, nullptr);
    if (FAILED(ddResult))
        return -3;
    primary.reset(new (std::nothrow) DisplaySurface(surface, SurfaceKind::Primary));
    if (!primary) {
        surface->Release();
        return -4;
    }
    primary->width = width;
    primary->height = height;

    IDirectDrawClipper* clipper = nullptr;
    ddResult = directDraw->CreateClipper(0, &clipper, nullptr);
    if (FAILED(ddResult)) {
        if (clipper)
            clipper->Release();
        releaseAndDelete(primary);
        return -6;
    }
    ddResult = clipper->SetHWnd(0, window);
    if (SUCCEEDED(ddResult))
        ddResult = primary->surface->SetClipper(clipper);
    if (FAILED(ddResult)) {
        releaseAndDelete(primary);
        clipper->Release();
        return -7;
    }
    // The primary keeps its own reference to the clipper.
    clipper->Release();

    back.reset(createOffScreenSurface(width, height));
    if (!back)
        return -8;
    state = DisplayState::Windowed;
    return 0;
}

DisplaySurface* Display::createOffScreenSurface(int width, int height)
{
    if (!directDraw || width <= 0 || height <= 0)
        return nullptr;
    DDSURFACEDESC description = zeroedDescription();
    description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    description.dwWidth = static_cast<DWORD>(width);
    description.dwHeight = static_cast<DWORD>(height);
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    IDirectDrawSurface* surface = nullptr;
    if (FAILED(directDraw->CreateSurface(&description, &surface, nullptr)))
        return nullptr;
    auto* wrapper = new (std::nothrow) DisplaySurface(surface, SurfaceKind::OffScreen);
    if (!wrapper)
        surface->Release();
    return wrapper;
}

int Display::present()
{
    if (!primary || !back)
        return -1;
    if (state == DisplayState::FullScreen) {
        ddResult = primary->flip(nullptr, 0);
        return ddResult == DDERR_SURFACELOST ? 1 : 0;
    }
    if (state == DisplayState::Windowed) {
        IDirectDrawClipper* clipper = nullptr;
        ddResult = primary->surface->GetClipper(&clipper);
        if (FAILED(ddResult))
            return 0;
        HWND window = nullptr;
        clipper->GetHWnd(&window);
        clipper->Release();
        POINT origin { 0, 0 };
        ClientToScreen(window, &origin);
        RECT target {};
        GetClientRect(window, &target);
        target.left += origin.x;
        target.right += origin.x;
        target.top += origin.y;
        target.bottom += origin.y;
        primary->surface->Blt(&target, back->surface, nullptr, 0, nullptr);
        return 0;
    }
    return 0;
}

void Display::shutdown()
{
    releaseSurfaces();
    // Outside the set-up state the back wrapper is still here; an off-screen back surface is released
    // before the DirectDraw object that made it.
    if (back)
        releaseAndDelete(back);
    if (directDraw7) {
        directDraw7->Release();
        directDraw7 = nullptr;
    }
    if (directDraw) {
        if (state == DisplayState::FullScreen)
            directDraw->RestoreDisplayMode();
        directDraw->Release();
        directDraw = nullptr;
    }
}

}
