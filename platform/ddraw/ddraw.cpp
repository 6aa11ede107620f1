// The DirectDraw object: cooperative level, display mode, and the surfaces and clippers it makes.
#include "platform/ddraw/ddraw_object.h"

#include "platform/kernel.h"
#include "platform/window/window.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace {

bool formatFromDescription(const DDPIXELFORMAT& pf, platform::PixelFormat& format)
{
    if (!(pf.dwFlags & DDPF_RGB))
        return false;
    if (pf.dwRGBBitCount == 16 && pf.dwRBitMask == 0xF800 && pf.dwGBitMask == 0x07E0 && pf.dwBBitMask == 0x001F) {
        format = platform::PixelFormat::RGB565;
        return true;
    }
    if (pf.dwRGBBitCount == 32 && pf.dwRBitMask == 0xFF0000 && pf.dwGBitMask == 0x00FF00 && pf.dwBBitMask == 0x0000FF) {
        format = platform::PixelFormat::XRGB8888;
        return true;
    }
    return false;
}

}

IDirectDraw::IDirectDraw() { interface7_.object_ = this; }

IDirectDraw::~IDirectDraw() = default;

ULONG IDirectDraw7::AddRef() { return object_->AddRef(); }

ULONG IDirectDraw7::Release() { return object_->Release(); }

HRESULT IDirectDraw::QueryInterface(const GUID& iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (std::memcmp(&iid, &IID_IDirectDraw7, sizeof(GUID)) == 0) {
        AddRef();
        *object = &interface7_;
        return S_OK;
    }
    if (std::memcmp(&iid, &IID_IDirectDraw, sizeof(GUID)) == 0) {
        AddRef();
        *object = this;
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT IDirectDraw::SetCooperativeLevel(HWND window, DWORD flags)
{
    auto& o = *object_;
    if (flags & DDSCL_FULLSCREEN) {
        if (!(flags & DDSCL_EXCLUSIVE) || !IsWindow(window))
            return DDERR_INVALIDPARAMS;
        o.exclusive = true;
        o.cooperativeWindow = window;
    } else if (flags & DDSCL_NORMAL) {
        if (flags & DDSCL_EXCLUSIVE)
            return DDERR_INVALIDPARAMS;
        o.restoreMode();
        o.exclusive = false;
        o.cooperativeWindow = window;
    } else {
        return DDERR_INVALIDPARAMS;
    }
    o.levelSet = true;
    return DD_OK;
}

HRESULT IDirectDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bpp)
{
    auto& o = *object_;
    if (!o.exclusive || !o.cooperativeWindow)
        return DDERR_NOEXCLUSIVEMODE;
    auto& driver = platform::displayDriver();
    if (width > 65535 || height > 65535 || !driver.modeAvailable(static_cast<int>(width), static_cast<int>(height), static_cast<int>(bpp)))
        return DDERR_INVALIDMODE;
    if (!driver.enterFullScreen(o.cooperativeWindow, static_cast<int>(width), static_cast<int>(height)))
        return DDERR_GENERIC;
    o.modeSet = true;
    o.modeWidth = static_cast<int>(width);
    o.modeHeight = static_cast<int>(height);
    o.modeFormat = bpp == 16 ? platform::PixelFormat::RGB565 : platform::PixelFormat::XRGB8888;
    return DD_OK;
}

HRESULT IDirectDraw::RestoreDisplayMode()
{
    object_->restoreMode();
    return DD_OK;
}

HRESULT IDirectDraw::CreateSurface(DDSURFACEDESC* description, IDirectDrawSurface** surface, void* outer)
{
    if (!surface)
        return DDERR_INVALIDPARAMS;
    *surface = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    if (!description || !platform::sizeAccepted(description->dwSize) || !(description->dwFlags & DDSD_CAPS))
        return DDERR_INVALIDPARAMS;
    auto& o = *object_;
    DWORD caps = description->ddsCaps.dwCaps;
    try {
        if (caps & DDSCAPS_PRIMARYSURFACE) {
            if (!o.levelSet)
                return DDERR_NOCOOPERATIVELEVELSET;
            if (o.primary)
                return DDERR_PRIMARYSURFACEALREADYEXISTS;
            bool chain = (caps & DDSCAPS_FLIP) != 0;
            if (chain) {
                if (!(caps & DDSCAPS_COMPLEX) || !(description->dwFlags & DDSD_BACKBUFFERCOUNT))
                    return DDERR_INVALIDCAPS;
                if (description->dwBackBufferCount != 1)
                    return DDERR_UNSUPPORTED;
                if (!o.exclusive || !o.modeSet)
                    return DDERR_NOEXCLUSIVEMODE;
            }
            auto& driver = platform::displayDriver();
            if (!driver.primaryAvailable(o.exclusive))
                return DDERR_GENERIC;
            auto* primary = new IDirectDrawSurface(&o, SurfaceRole::Primary);
            o.surfaces.push_back(primary);
            primary->exclusiveWindow_ = o.exclusive ? o.cooperativeWindow : nullptr;
            if (chain && driver.backBufferAvailable()) {
                auto* back = new IDirectDrawSurface(&o, SurfaceRole::BackBuffer);
                o.surfaces.push_back(back);
                *back->surface_ = platform::Surface(o.modeWidth, o.modeHeight, o.modeFormat);
                primary->attached_ = back;
            }
            o.primary = primary;
            *surface = primary;
            return DD_OK;
        }
        if (caps & DDSCAPS_OFFSCREENPLAIN) {
            if ((description->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT))
                return DDERR_INVALIDPARAMS;
            // Larger than any picture or screen the player handles; refused rather than allocated.
            constexpr DWORD largest = 16384;
            if (description->dwWidth == 0 || description->dwHeight == 0 || description->dwWidth > largest
                || description->dwHeight > largest)
                return DDERR_INVALIDPARAMS;
            platform::PixelFormat format = o.displayFormat();
            if ((description->dwFlags & DDSD_PIXELFORMAT)
                && !formatFromDescription(description->ddpfPixelFormat, format))
                return DDERR_INVALIDPIXELFORMAT;
            auto* plain = new IDirectDrawSurface(&o, SurfaceRole::OffScreen);
            o.surfaces.push_back(plain);
            *plain->surface_ = platform::Surface(static_cast<int>(description->dwWidth),
                static_cast<int>(description->dwHeight), format);
            *surface = plain;
            return DD_OK;
        }
    } catch (const std::bad_alloc&) {
        return DDERR_OUTOFMEMORY;
    }
    return DDERR_INVALIDCAPS;
}

platform::SampleTarget* IDirectDraw::createSampleTarget(int width, int height)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    DDSURFACEDESC description {};
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    description.dwWidth = static_cast<DWORD>(width);
    description.dwHeight = static_cast<DWORD>(height);
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    IDirectDrawSurface* surface = nullptr;
    if (FAILED(CreateSurface(&description, &surface, nullptr)))
        return nullptr;
    return surface;
}

HRESULT IDirectDraw::CreateClipper(DWORD, IDirectDrawClipper** clipper, void* outer)
{
    if (!clipper)
        return DDERR_INVALIDPARAMS;
    *clipper = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* made = new (std::nothrow) IDirectDrawClipper(object_.get());
    if (!made)
        return DDERR_OUTOFMEMORY;
    object_->clippers.push_back(made);
    *clipper = made;
    return DD_OK;
}

HRESULT IDirectDraw::GetCaps(DDCAPS* driverCaps, DDCAPS* emulationCaps)
{
    if ((!driverCaps && !emulationCaps) || (driverCaps && driverCaps->dwSize != sizeof(DDCAPS))
        || (emulationCaps && emulationCaps->dwSize != sizeof(DDCAPS)))
        return DDERR_INVALIDPARAMS;
    // Blits stretch in software; there is no overlay hardware.
    for (DDCAPS* caps : { driverCaps, emulationCaps }) {
        if (!caps)
            continue;
        std::memset(caps, 0, sizeof(DDCAPS));
        caps->dwSize = sizeof(DDCAPS);
        caps->dwCaps = DDCAPS_BLT | DDCAPS_BLTSTRETCH;
    }
    return DD_OK;
}

HRESULT DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, void* context)
{
    if (!callback)
        return DDERR_INVALIDPARAMS;
    for (const auto& device : platform::displayDriver().devices()) {
        std::string description = device.description;
        std::string name = device.driverName;
        GUID guid = device.guid;
        if (!callback(device.hasGuid ? &guid : nullptr, description.data(), name.data(), context))
            break;
    }
    return DD_OK;
}

HRESULT DirectDrawCreate(GUID* guid, IDirectDraw** directDraw, void* outer)
{
    if (!directDraw)
        return DDERR_INVALIDPARAMS;
    *directDraw = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto& driver = platform::displayDriver();
    auto devices = driver.devices();
    if (devices.empty())
        return DDERR_NODIRECTDRAWHW;
    if (guid) {
        bool known = std::any_of(devices.begin(), devices.end(), [&](const platform::DisplayDeviceInfo& d) {
            return d.hasGuid && std::memcmp(&d.guid, guid, sizeof(GUID)) == 0;
        });
        if (!known)
            return DDERR_INVALIDDIRECTDRAWGUID;
    }
    platform::DesktopMode desktop;
    if (!driver.desktop(desktop))
        return DDERR_NODIRECTDRAWHW;
    auto* made = new (std::nothrow) IDirectDraw();
    if (!made)
        return DDERR_OUTOFMEMORY;
    made->object_ = std::make_unique<platform::DirectDrawObject>(desktop);
    *directDraw = made;
    return DD_OK;
}
