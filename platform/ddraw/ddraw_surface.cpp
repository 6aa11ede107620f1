// DirectDraw surfaces: their pixels, blits, flips and device contexts.
#include "platform/ddraw/ddraw_object.h"

#include "platform/gdi/gdi.h"
#include "platform/kernel.h"
#include "platform/window/window.h"

#include <algorithm>
#include <cstring>

namespace {

void describeFormat(platform::PixelFormat format, DDPIXELFORMAT& pf)
{
    pf = DDPIXELFORMAT {};
    pf.dwSize = sizeof(DDPIXELFORMAT);
    pf.dwFlags = DDPF_RGB;
    pf.dwRGBBitCount = static_cast<DWORD>(platform::bitsPerPixelOf(format));
    if (format == platform::PixelFormat::RGB565) {
        pf.dwRBitMask = 0xF800;
        pf.dwGBitMask = 0x07E0;
        pf.dwBBitMask = 0x001F;
    } else {
        pf.dwRBitMask = 0xFF0000;
        pf.dwGBitMask = 0x00FF00;
        pf.dwBBitMask = 0x0000FF;
    }
}

bool rectInside(const RECT& r, int width, int height)
{
    return r.left >= 0 && r.top >= 0 && r.right <= width && r.bottom <= height && r.left < r.right && r.top < r.bottom;
}

void fillRect(platform::PixelView surface, const RECT& r, uint32_t value)
{
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            platform::writePixel(surface, x, y, value);
}

}

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
    shownIn_ = nullptr;
    *surface_ = platform::Surface {};
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

// A surface whose DirectDraw object is closing stays for the object to destroy and delete.
bool IDirectDrawSurface::lastReferenceGone()
{
    if (owner_->closing)
        return false;
    destroy();
    owner_->forget(this);
    return true;
}

bool IDirectDrawSurface::lost() const
{
    return role_ != SurfaceRole::OffScreen && resetsAtCreation_ != platform::displayDriver().resets();
}

platform::PixelView* IDirectDrawSurface::pixels()
{
    if (!alive_ || role_ == SurfaceRole::Primary)
        return nullptr;
    settle();
    handedOut_ = current();
    return &handedOut_;
}

platform::Surface& IDirectDrawSurface::samplePixels()
{
    // A producer writes into the surface's own pixels.
    leaveFrame();
    settle();
    return *surface_;
}

bool IDirectDrawSurface::drawnWhereShown() { return current().data() != surface_->data(); }

platform::PixelView IDirectDrawSurface::current()
{
    // The window keeps the surface's pixels in its frame until it hands them back (copied into
    // surface_), which it does before that memory can go.
    if (shownIn_ && !platform::displayDriver().framesKeeper(shownIn_, surface_.get()))
        shownIn_ = nullptr;
    return shownIn_ ? frame_ : surface_->view();
}

void IDirectDrawSurface::leaveFrame()
{
    if (shownIn_ && platform::displayDriver().framesKeeper(shownIn_, surface_.get()))
        platform::displayDriver().endFrame(shownIn_);
    shownIn_ = nullptr;
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
    picture->convertInto(current(), 0, 0, surface_->width, surface_->height);
}

HRESULT IDirectDrawSurface::GetSurfaceDesc(DDSURFACEDESC* description)
{
    if (!description || !platform::sizeAccepted(description->dwSize))
        return DDERR_INVALIDPARAMS;
    if (!alive_)
        return DDERR_SURFACELOST;
    DWORD size = description->dwSize;
    std::memset(description, 0, size);
    description->dwSize = size;
    description->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
    platform::PixelFormat format = surface_->format;
    if (role_ == SurfaceRole::Primary) {
        description->dwWidth = static_cast<DWORD>(owner_->screenWidth());
        description->dwHeight = static_cast<DWORD>(owner_->screenHeight());
        format = owner_->displayFormat();
        description->lPitch = static_cast<LONG>(description->dwWidth * (platform::bitsPerPixelOf(format) / 8));
        description->ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY;
        if (attached_) {
            description->ddsCaps.dwCaps |= DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_FRONTBUFFER;
            description->dwFlags |= DDSD_BACKBUFFERCOUNT;
            description->dwBackBufferCount = 1;
        }
    } else {
        description->dwWidth = static_cast<DWORD>(surface_->width);
        description->dwHeight = static_cast<DWORD>(surface_->height);
        description->lPitch = surface_->pitch;
        description->ddsCaps.dwCaps = role_ == SurfaceRole::BackBuffer
            ? DDSCAPS_BACKBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY
            : DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    }
    // The record of 108 bytes ends with the caps; a shorter pixel format would not fit in it.
    describeFormat(format, description->ddpfPixelFormat);
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
    dc_ = platform::createSurfaceDC(current());
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
        const platform::Surface& from = *source->surface_;
        RECT src = sourceRect ? *sourceRect : RECT { 0, 0, from.width, from.height };
        if (!rectInside(src, from.width, from.height))
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
        return present(window, source, src, dst);
    }

    settle();
    const platform::PixelView to = current();
    RECT dst = destinationRect ? *destinationRect : RECT { 0, 0, to.width, to.height };
    if (!rectInside(dst, to.width, to.height))
        return DDERR_INVALIDRECT;
    if (flags & DDBLT_COLORFILL) {
        fillRect(to, dst, effects->dwFillColor);
        return DD_OK;
    }
    // Not pixels(): that would convert a pending picture the copy below may not need in the source.
    if (!source || !source->alive_ || source->role_ == SurfaceRole::Primary)
        return DDERR_INVALIDPARAMS;
    if (source->lost())
        return DDERR_SURFACELOST;
    const platform::PixelView from = source->current();
    RECT src = sourceRect ? *sourceRect : RECT { 0, 0, from.width, from.height };
    if (!rectInside(src, from.width, from.height))
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
        const platform::Surface copy = from;
        platform::bltScaled(to, dst, copy, src, mirror);
    } else {
        platform::bltScaled(to, dst, from, src, mirror);
    }
    return DD_OK;
}

// A surface shown whole and 1:1 in a window that shows it from memory of the surface's layout is from
// then on drawn in that memory, and showing it next only has to show that memory.
HRESULT IDirectDrawSurface::present(HWND window, IDirectDrawSurface* source, const RECT& src, const RECT& dst)
{
    platform::DisplayDriver& driver = platform::displayDriver();
    const platform::Surface& own = *source->surface_;
    RECT client {};
    GetClientRect(window, &client);
    auto same = [](const RECT& a, const RECT& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    const RECT whole { 0, 0, own.width, own.height };
    const bool wholeOneToOne = same(src, whole) && same(dst, whole) && same(client, whole);
    platform::PixelView pixels = source->current();
    if (source->shownIn_ && (source->shownIn_ != window || !wholeOneToOne || driver.frame(window).data() != pixels.data())) {
        source->leaveFrame();
        pixels = source->current();
    }
    if (!driver.present(window, pixels, src, dst))
        return DDERR_GENERIC;
    if (!source->shownIn_ && wholeOneToOne) {
        const platform::PixelView frame = driver.frame(window);
        if (!frame.empty() && frame.width == own.width && frame.height == own.height && frame.pitch == own.pitch
            && frame.format == own.format) {
            driver.keepFrameIn(window, source->surface_);
            if (driver.framesKeeper(window, source->surface_.get())) {
                source->shownIn_ = window;
                source->frame_ = frame;
            }
        }
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
    const platform::Surface& back = *attached_->surface_;
    const RECT whole { 0, 0, back.width, back.height };
    // The back buffer keeps its pixels: every frame is composed in full before it is shown. At the
    // display's own size it is composed where it is shown, as in a window.
    return present(exclusiveWindow_, attached_, whole, whole);
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
