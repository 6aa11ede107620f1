#include "platform/ddraw/ddraw.h"

#include "platform/ddraw/display_driver.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel.h"
#include "platform/window/window.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace {

bool sizeAccepted(DWORD size) { return size == publishedSurfaceDescSize || size == sizeof(DDSURFACEDESC); }

}

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

namespace {

void describeFormat(PixelFormat format, DDPIXELFORMAT& pf)
{
    pf = DDPIXELFORMAT {};
    pf.dwSize = sizeof(DDPIXELFORMAT);
    pf.dwFlags = DDPF_RGB;
    pf.dwRGBBitCount = static_cast<DWORD>(bitsPerPixelOf(format));
    if (format == PixelFormat::RGB565) {
        pf.dwRBitMask = 0xF800;
        pf.dwGBitMask = 0x07E0;
        pf.dwBBitMask = 0x001F;
    } else {
        pf.dwRBitMask = 0xFF0000;
        pf.dwGBitMask = 0x00FF00;
        pf.dwBBitMask = 0x0000FF;
    }
}

bool formatFromDescription(const DDPIXELFORMAT& pf, PixelFormat& format)
{
    if (!(pf.dwFlags & DDPF_RGB))
        return false;
    if (pf.dwRGBBitCount == 16 && pf.dwRBitMask == 0xF800 && pf.dwGBitMask == 0x07E0 && pf.dwBBitMask == 0x001F) {
        format = PixelFormat::RGB565;
        return true;
    }
    if (pf.dwRGBBitCount == 32 && pf.dwRBitMask == 0xFF0000 && pf.dwGBitMask == 0x00FF00 && pf.dwBBitMask == 0x0000FF) {
        format = PixelFormat::XRGB8888;
        return true;
    }
    return false;
}

bool rectInside(const RECT& r, int width, int height)
{
    return r.left >= 0 && r.top >= 0 && r.right <= width && r.bottom <= height && r.left < r.right && r.top < r.bottom;
}

void fillRect(Surface& surface, const RECT& r, uint32_t value)
{
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            writePixel(surface, x, y, value);
}

}

}

// --- Clipper ---------------------------------------------------------------------------------------

ULONG IDirectDrawClipper::AddRef() { return ++references_; }

ULONG IDirectDrawClipper::Release()
{
    if (references_ == 0)
        return 0;
    ULONG left = --references_;
    if (left == 0 && !owner_->closing) {
        owner_->forget(this);
        delete this;
    }
    return left;
}

HRESULT IDirectDrawClipper::SetHWnd(DWORD, HWND window)
{
    if (window && !IsWindow(window))
        return DDERR_INVALIDPARAMS;
    window_ = window;
    return DD_OK;
}

HRESULT IDirectDrawClipper::GetHWnd(HWND* window)
{
    if (!window)
        return DDERR_INVALIDPARAMS;
    *window = window_;
    return DD_OK;
}

// --- Surface ---------------------------------------------------------------------------------------

IDirectDrawSurface::IDirectDrawSurface(platform::DirectDrawObject* owner, SurfaceRole role)
    : owner_(owner)
    , role_(role)
    , resetsAtCreation_(platform::displayDriver().resets())
{
}

IDirectDrawSurface::~IDirectDrawSurface() = default;

void IDirectDrawSurface::destroy()
{
    if (!alive_)
        return;
    alive_ = false;
    if (dc_)
        platform::destroySurfaceDC(dc_);
    dc_ = nullptr;
    if (clipper_)
        clipper_->Release();
    clipper_ = nullptr;
    pending_.reset();
    surface_ = platform::Surface {};
    if (owner_->primary == this)
        owner_->primary = nullptr;
    // The back buffer of a flip chain goes with its primary, whatever references it still has.
    if (attached_) {
        IDirectDrawSurface* back = attached_;
        attached_ = nullptr;
        back->destroy();
        back->Release();
    }
}

ULONG IDirectDrawSurface::AddRef() { return ++references_; }

ULONG IDirectDrawSurface::Release()
{
    if (references_ == 0)
        return 0;
    ULONG left = --references_;
    if (left == 0 && !owner_->closing) {
        destroy();
        owner_->forget(this);
        delete this;
    }
    return left;
}

bool IDirectDrawSurface::lost() const
{
    return role_ != SurfaceRole::OffScreen && resetsAtCreation_ != platform::displayDriver().resets();
}

platform::Surface* IDirectDrawSurface::pixels()
{
    if (!alive_ || role_ == SurfaceRole::Primary)
        return nullptr;
    settle();
    return &surface_;
}

void IDirectDrawSurface::samplePicture(std::unique_ptr<platform::PendingPicture> picture)
{
    if (!picture)
        return;
    pending_ = std::move(picture);
    if (!alive_ || role_ == SurfaceRole::Primary)
        pending_.reset();
}

void IDirectDrawSurface::settle()
{
    if (!pending_)
        return;
    // Taken first: a picture that cannot be converted leaves the earlier pixels, as a failed
    // conversion at delivery would have.
    std::unique_ptr<platform::PendingPicture> picture = std::move(pending_);
    picture->convertInto(surface_, 0, 0, surface_.width, surface_.height);
}

HRESULT IDirectDrawSurface::GetSurfaceDesc(DDSURFACEDESC* description)
{
    if (!description || !sizeAccepted(description->dwSize))
        return DDERR_INVALIDPARAMS;
    if (!alive_)
        return DDERR_SURFACELOST;
    DWORD size = description->dwSize;
    std::memset(description, 0, size);
    description->dwSize = size;
    description->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
    platform::PixelFormat format = surface_.format;
    if (role_ == SurfaceRole::Primary) {
        description->dwWidth = static_cast<DWORD>(owner_->screenWidth());
        description->dwHeight = static_cast<DWORD>(owner_->screenHeight());
        format = owner_->displayFormat();
        description->lPitch = static_cast<LONG>(description->dwWidth * (bitsPerPixelOf(format) / 8));
        description->ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY;
        if (attached_) {
            description->ddsCaps.dwCaps |= DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_FRONTBUFFER;
            description->dwFlags |= DDSD_BACKBUFFERCOUNT;
            description->dwBackBufferCount = 1;
        }
    } else {
        description->dwWidth = static_cast<DWORD>(surface_.width);
        description->dwHeight = static_cast<DWORD>(surface_.height);
        description->lPitch = surface_.pitch;
        description->ddsCaps.dwCaps = role_ == SurfaceRole::BackBuffer
            ? DDSCAPS_BACKBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY
            : DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    }
    // The record of 108 bytes ends with the caps; a shorter pixel format would not fit in it.
    platform::describeFormat(format, description->ddpfPixelFormat);
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetDC(HDC* dc)
{
    if (!dc)
        return DDERR_INVALIDPARAMS;
    *dc = nullptr;
    if (!alive_ || lost())
        return DDERR_SURFACELOST;
    if (role_ == SurfaceRole::Primary)
        return DDERR_CANTCREATEDC;
    if (dc_)
        return DDERR_DCALREADYCREATED;
    settle();
    dc_ = platform::createSurfaceDC(surface_);
    if (!dc_)
        return DDERR_CANTCREATEDC;
    *dc = dc_;
    return DD_OK;
}

HRESULT IDirectDrawSurface::ReleaseDC(HDC dc)
{
    if (!dc || dc != dc_)
        return DDERR_INVALIDPARAMS;
    platform::destroySurfaceDC(dc_);
    dc_ = nullptr;
    return DD_OK;
}

HRESULT IDirectDrawSurface::Blt(RECT* destinationRect, IDirectDrawSurface* source, RECT* sourceRect, DWORD flags,
    DDBLTFX* effects)
{
    if (!alive_)
        return DDERR_SURFACELOST;
    if ((flags & (DDBLT_DDFX | DDBLT_COLORFILL)) && (!effects || effects->dwSize != sizeof(DDBLTFX)))
        return DDERR_INVALIDPARAMS;
    if (lost())
        return DDERR_SURFACELOST;

    if (role_ == SurfaceRole::Primary) {
        // The screen: show the source in the window the clipper names (or the full-screen window).
        if (!source || !source->pixels() || (flags & DDBLT_COLORFILL))
            return DDERR_INVALIDPARAMS;
        HWND window = clipper_ ? clipper_->window_ : owner_->cooperativeWindow;
        if (!window)
            return DDERR_NOCLIPPERATTACHED;
        const platform::Surface& from = source->surface_;
        RECT src = sourceRect ? *sourceRect : RECT { 0, 0, from.width, from.height };
        if (!platform::rectInside(src, from.width, from.height))
            return DDERR_INVALIDRECT;
        RECT dst {};
        if (destinationRect) {
            POINT topLeft { destinationRect->left, destinationRect->top };
            ScreenToClient(window, &topLeft);
            dst = RECT { topLeft.x, topLeft.y, topLeft.x + (destinationRect->right - destinationRect->left),
                topLeft.y + (destinationRect->bottom - destinationRect->top) };
        } else {
            GetClientRect(window, &dst);
        }
        return platform::displayDriver().present(window, from, src, dst) ? DD_OK : DDERR_GENERIC;
    }

    settle();
    platform::Surface& to = surface_;
    RECT dst = destinationRect ? *destinationRect : RECT { 0, 0, to.width, to.height };
    if (!platform::rectInside(dst, to.width, to.height))
        return DDERR_INVALIDRECT;
    if (flags & DDBLT_COLORFILL) {
        platform::fillRect(to, dst, effects->dwFillColor);
        return DD_OK;
    }
    // Not pixels(): that would convert a pending picture the copy below may not need in the source.
    if (!source || !source->alive_ || source->role_ == SurfaceRole::Primary)
        return DDERR_INVALIDPARAMS;
    if (source->lost())
        return DDERR_SURFACELOST;
    platform::Surface& from = source->surface_;
    RECT src = sourceRect ? *sourceRect : RECT { 0, 0, from.width, from.height };
    if (!platform::rectInside(src, from.width, from.height))
        return DDERR_INVALIDRECT;
    if (from.format != to.format)
        return DDERR_INVALIDPIXELFORMAT;
    auto mirror = (flags & DDBLT_DDFX) && (effects->dwDDFX & DDBLTFX_MIRRORUPDOWN) ? platform::Mirror::UpDown
                                                                                  : platform::Mirror::No;
    // A whole video picture copied 1:1 is converted straight into this surface: one pass instead of a
    // conversion into the sample and a copy out of it.
    if (source->pending_) {
        bool whole = src.left == 0 && src.top == 0 && src.right == from.width && src.bottom == from.height;
        bool oneToOne = dst.right - dst.left == from.width && dst.bottom - dst.top == from.height;
        if (whole && oneToOne && mirror == platform::Mirror::No
            && source->pending_->convertInto(to, dst.left, dst.top, from.width, from.height))
            return DD_OK;
        source->settle();
    }
    if (source == this) {
        platform::Surface copy = from;
        platform::bltScaled(to, dst, copy, src, mirror);
    } else {
        platform::bltScaled(to, dst, from, src, mirror);
    }
    return DD_OK;
}

HRESULT IDirectDrawSurface::Flip(IDirectDrawSurface* override, DWORD)
{
    if (!alive_)
        return DDERR_SURFACELOST;
    if (role_ != SurfaceRole::Primary || !attached_ || (override && override != attached_))
        return DDERR_NOTFLIPPABLE;
    if (lost())
        return DDERR_SURFACELOST;
    HWND window = exclusiveWindow_;
    const platform::Surface& back = attached_->surface_;
    RECT whole { 0, 0, back.width, back.height };
    // The back buffer keeps its pixels: every frame is composed in full before it is shown.
    return platform::displayDriver().present(window, back, whole, whole) ? DD_OK : DDERR_GENERIC;
}

HRESULT IDirectDrawSurface::GetAttachedSurface(DDSCAPS* caps, IDirectDrawSurface** attached)
{
    if (!caps || !attached)
        return DDERR_INVALIDPARAMS;
    *attached = nullptr;
    if (!alive_)
        return DDERR_SURFACELOST;
    if (!(caps->dwCaps & DDSCAPS_BACKBUFFER) || !attached_)
        return DDERR_NOTFOUND;
    attached_->AddRef();
    *attached = attached_;
    return DD_OK;
}

HRESULT IDirectDrawSurface::SetClipper(IDirectDrawClipper* clipper)
{
    if (!alive_)
        return DDERR_SURFACELOST;
    if (clipper)
        clipper->AddRef();
    if (clipper_)
        clipper_->Release();
    clipper_ = clipper;
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetClipper(IDirectDrawClipper** clipper)
{
    if (!clipper)
        return DDERR_INVALIDPARAMS;
    *clipper = nullptr;
    if (!clipper_)
        return DDERR_NOCLIPPERATTACHED;
    clipper_->AddRef();
    *clipper = clipper_;
    return DD_OK;
}

HRESULT IDirectDrawSurface::IsLost() { return !alive_ || lost() ? DDERR_SURFACELOST : DD_OK; }

// --- DirectDraw ------------------------------------------------------------------------------------

IDirectDraw::IDirectDraw() { interface7_.object_ = this; }

IDirectDraw::~IDirectDraw() = default;

ULONG IDirectDraw::AddRef() { return ++references_; }

ULONG IDirectDraw::Release()
{
    ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

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
    if (!description || !sizeAccepted(description->dwSize) || !(description->dwFlags & DDSD_CAPS))
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
                back->surface_ = platform::Surface(o.modeWidth, o.modeHeight, o.modeFormat);
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
                && !platform::formatFromDescription(description->ddpfPixelFormat, format))
                return DDERR_INVALIDPIXELFORMAT;
            auto* plain = new IDirectDrawSurface(&o, SurfaceRole::OffScreen);
            o.surfaces.push_back(plain);
            plain->surface_ = platform::Surface(static_cast<int>(description->dwWidth),
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
