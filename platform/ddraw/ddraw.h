// DirectDraw as the system uses it: the DirectDraw object, surfaces in the display's format (CPU pixel
// buffers), clippers, display modes and presentation into the one window. Surfaces and clippers belong
// to the DirectDraw object that made them: releasing that object destroys every one still alive, so
// they must not be used afterwards.
#pragma once

#include "platform/mmstream/sample_target.h"
#include "platform/ref_counted.h"
#include "platform/surface.h"
#include "platform/win32.h"

#include <cstdint>
#include <memory>
#include <vector>

constexpr HRESULT DD_OK = 0;
constexpr HRESULT makeDirectDrawResult(int code) { return static_cast<HRESULT>(0x88760000u + static_cast<uint32_t>(code)); }
constexpr HRESULT DDERR_GENERIC = E_FAIL;
constexpr HRESULT DDERR_INVALIDPARAMS = E_INVALIDARG;
constexpr HRESULT DDERR_OUTOFMEMORY = E_OUTOFMEMORY;
constexpr HRESULT DDERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT DDERR_INVALIDCAPS = makeDirectDrawResult(100);
constexpr HRESULT DDERR_INVALIDMODE = makeDirectDrawResult(120);
constexpr HRESULT DDERR_INVALIDOBJECT = makeDirectDrawResult(130);
constexpr HRESULT DDERR_INVALIDRECT = makeDirectDrawResult(150);
constexpr HRESULT DDERR_NOCOOPERATIVELEVELSET = makeDirectDrawResult(212);
constexpr HRESULT DDERR_NOEXCLUSIVEMODE = makeDirectDrawResult(225);
constexpr HRESULT DDERR_NOTFOUND = makeDirectDrawResult(255);
constexpr HRESULT DDERR_SURFACEBUSY = makeDirectDrawResult(430);
constexpr HRESULT DDERR_SURFACELOST = makeDirectDrawResult(450);
constexpr HRESULT DDERR_NODIRECTDRAWHW = makeDirectDrawResult(563);
constexpr HRESULT DDERR_PRIMARYSURFACEALREADYEXISTS = makeDirectDrawResult(564);
constexpr HRESULT DDERR_NOCLIPPERATTACHED = makeDirectDrawResult(568);
constexpr HRESULT DDERR_NOHWND = makeDirectDrawResult(569);
constexpr HRESULT DDERR_CANTCREATEDC = makeDirectDrawResult(585);
constexpr HRESULT DDERR_DCALREADYCREATED = makeDirectDrawResult(620);
constexpr HRESULT DDERR_INVALIDDIRECTDRAWGUID = makeDirectDrawResult(561);
constexpr HRESULT DDERR_INVALIDPIXELFORMAT = makeDirectDrawResult(145);
constexpr HRESULT DDERR_NOTFLIPPABLE = makeDirectDrawResult(582);

// Cooperative levels.
constexpr DWORD DDSCL_FULLSCREEN = 0x00000001;
constexpr DWORD DDSCL_ALLOWREBOOT = 0x00000002;
constexpr DWORD DDSCL_NOWINDOWCHANGES = 0x00000004;
constexpr DWORD DDSCL_NORMAL = 0x00000008;
constexpr DWORD DDSCL_EXCLUSIVE = 0x00000010;
constexpr DWORD DDSCL_ALLOWMODEX = 0x00000040;

// Surface description fields.
constexpr DWORD DDSD_CAPS = 0x00000001;
constexpr DWORD DDSD_HEIGHT = 0x00000002;
constexpr DWORD DDSD_WIDTH = 0x00000004;
constexpr DWORD DDSD_PITCH = 0x00000008;
constexpr DWORD DDSD_BACKBUFFERCOUNT = 0x00000020;
constexpr DWORD DDSD_LPSURFACE = 0x00000800;
constexpr DWORD DDSD_PIXELFORMAT = 0x00001000;

// Surface capabilities.
constexpr DWORD DDSCAPS_BACKBUFFER = 0x00000004;
constexpr DWORD DDSCAPS_COMPLEX = 0x00000008;
constexpr DWORD DDSCAPS_FLIP = 0x00000010;
constexpr DWORD DDSCAPS_FRONTBUFFER = 0x00000020;
constexpr DWORD DDSCAPS_OFFSCREENPLAIN = 0x00000040;
constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x00000200;
constexpr DWORD DDSCAPS_SYSTEMMEMORY = 0x00000800;
constexpr DWORD DDSCAPS_VIDEOMEMORY = 0x00004000;

constexpr DWORD DDPF_RGB = 0x00000040;

// Blits and flips.
constexpr DWORD DDBLT_COLORFILL = 0x00000400;
constexpr DWORD DDBLT_DDFX = 0x00000800;
constexpr DWORD DDBLT_WAIT = 0x01000000;
constexpr DWORD DDBLTFX_MIRRORLEFTRIGHT = 0x00000002;
constexpr DWORD DDBLTFX_MIRRORUPDOWN = 0x00000004;
constexpr DWORD DDFLIP_WAIT = 0x00000001;

// Driver capabilities.
constexpr DWORD DDCAPS_OVERLAY = 0x00000800;
constexpr DWORD DDCAPS_BLT = 0x00000040;
constexpr DWORD DDCAPS_BLTSTRETCH = 0x00000200;

constexpr BOOL DDENUMRET_CANCEL = 0;
constexpr BOOL DDENUMRET_OK = 1;

struct DDPIXELFORMAT {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwFourCC;
    DWORD dwRGBBitCount;
    DWORD dwRBitMask;
    DWORD dwGBitMask;
    DWORD dwBBitMask;
    DWORD dwRGBAlphaBitMask;
};

struct DDSCAPS {
    DWORD dwCaps;
};

struct DDCOLORKEY {
    DWORD dwColorSpaceLowValue;
    DWORD dwColorSpaceHighValue;
};

// The surface description. Its published size is 108 bytes with 32-bit pointers; here the pointer
// field makes it larger, and both sizes are accepted in dwSize.
struct DDSURFACEDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwHeight;
    DWORD dwWidth;
    LONG lPitch;
    DWORD dwBackBufferCount;
    DWORD dwRefreshRate;
    DWORD dwAlphaBitDepth;
    DWORD dwReserved;
    void* lpSurface;
    DDCOLORKEY ddckCKDestOverlay;
    DDCOLORKEY ddckCKDestBlt;
    DDCOLORKEY ddckCKSrcOverlay;
    DDCOLORKEY ddckCKSrcBlt;
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS ddsCaps;
};
constexpr DWORD publishedSurfaceDescSize = 108;

// Blit effects: 100 bytes; only the size, the effect bits and the fill colour are read.
struct DDBLTFX {
    DWORD dwSize;
    DWORD dwDDFX;
    DWORD dwROP;
    DWORD dwDDROP;
    DWORD dwRotationAngle;
    DWORD dwZBufferOpCode;
    DWORD dwZBufferLow;
    DWORD dwZBufferHigh;
    DWORD dwZBufferBaseDest;
    DWORD dwZDestConstBitDepth;
    DWORD dwZDestConst;
    DWORD dwZSrcConstBitDepth;
    DWORD dwZSrcConst;
    DWORD dwAlphaEdgeBlendBitDepth;
    DWORD dwAlphaEdgeBlend;
    DWORD dwReserved;
    DWORD dwAlphaDestConstBitDepth;
    DWORD dwAlphaDestConst;
    DWORD dwAlphaSrcConstBitDepth;
    DWORD dwAlphaSrcConst;
    DWORD dwFillColor;
    DDCOLORKEY ddckDestColorkey;
    DDCOLORKEY ddckSrcColorkey;
};
static_assert(sizeof(DDBLTFX) == 100);

// Driver capabilities: 380 bytes; the size and the capability bits are filled.
struct DDCAPS {
    DWORD dwSize;
    DWORD dwCaps;
    DWORD dwCaps2;
    DWORD dwCKeyCaps;
    DWORD dwFXCaps;
    DWORD dwFXAlphaCaps;
    DWORD dwPalCaps;
    DWORD dwSVCaps;
    DWORD dwRest[87];
};
static_assert(sizeof(DDCAPS) == 380);

// IID of IDirectDraw7: {15E65EC0-3B9C-11D2-B92F-00609797EA5B}.
inline constexpr GUID IID_IDirectDraw7 { 0x15E65EC0, 0x3B9C, 0x11D2, { 0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B } };
inline constexpr GUID IID_IDirectDraw { 0x6C14DB80, 0xA733, 0x11CE, { 0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60 } };

class IDirectDraw;
class IDirectDrawSurface;

using ULONG = uint32_t;

namespace platform {
class DirectDrawObject;
}

// Clips a primary surface to a window's client area.
class IDirectDrawClipper final : public platform::RefCounted<platform::NoInterface> {
public:
    HRESULT SetHWnd(DWORD flags, HWND window);
    HRESULT GetHWnd(HWND* window);

private:
    friend class platform::DirectDrawObject;
    friend class IDirectDraw;
    friend class IDirectDrawSurface;
    explicit IDirectDrawClipper(platform::DirectDrawObject* owner) : owner_(owner) { }
    bool lastReferenceGone() override;
    platform::DirectDrawObject* owner_;
    HWND window_ = nullptr;
};

enum class SurfaceRole { Primary, BackBuffer, OffScreen };

// A surface is also what a video sample decodes into (the sample seam of the streaming service).
class IDirectDrawSurface final : public platform::RefCounted<platform::SampleTarget> {
public:
    // Fills the description; dwSize must be 108 or the record's own size.
    HRESULT GetSurfaceDesc(DDSURFACEDESC* description);
    // A device context of the drawing layer on the surface's pixels; one at a time.
    HRESULT GetDC(HDC* dc);
    HRESULT ReleaseDC(HDC dc);
    // Scaled copy of sourceRect of source (null: whole surface) into destinationRect (null: whole
    // surface); DDBLTFX_MIRRORUPDOWN under DDBLT_DDFX mirrors, DDBLT_COLORFILL fills. On the primary the
    // destination is in screen coordinates and the copy is shown in the window the clipper names.
    HRESULT Blt(RECT* destinationRect, IDirectDrawSurface* source, RECT* sourceRect, DWORD flags, DDBLTFX* effects);
    // Shows the back buffer of a flip chain; DDERR_SURFACELOST once the window's presentation was reset.
    HRESULT Flip(IDirectDrawSurface* override, DWORD flags);
    HRESULT GetAttachedSurface(DDSCAPS* caps, IDirectDrawSurface** attached);
    HRESULT SetClipper(IDirectDrawClipper* clipper);
    HRESULT GetClipper(IDirectDrawClipper** clipper);
    HRESULT IsLost();

    // The pixels behind the surface, for producers that write frames into it; null for the primary
    // surface (the screen has no pixel buffer here) and for destroyed surfaces. Valid until the surface
    // is next shown or changed.
    platform::PixelView* pixels();
    SurfaceRole role() const { return role_; }
    // Whether the surface is drawn in the pixels its window shows (see DisplayDriver::frame), not in
    // its own.
    bool drawnWhereShown();

    platform::Surface& samplePixels() override;
    void samplePicture(std::unique_ptr<platform::PendingPicture> picture) override;
    uint32_t sampleAddRef() override { return AddRef(); }
    uint32_t sampleRelease() override { return Release(); }
    IDirectDrawSurface* directDrawSurface() override { return this; }

private:
    friend class platform::DirectDrawObject;
    friend class IDirectDraw;
    IDirectDrawSurface(platform::DirectDrawObject* owner, SurfaceRole role);
    ~IDirectDrawSurface() override;
    bool lastReferenceGone() override;
    bool lost() const;
    void destroy();
    // Converts a picture still pending into the surface's pixels.
    void settle();
    // Where the surface's pixels are now: its own, or the frame of the window it was last shown in.
    platform::PixelView current();
    // Takes the pixels back from the window's frame into the surface's own.
    void leaveFrame();
    HRESULT present(HWND window, IDirectDrawSurface* source, const RECT& sourceRect, const RECT& destination);

    platform::DirectDrawObject* owner_;
    SurfaceRole role_;
    bool alive_ = true;
    // The surface's own pixels; shared with the window it is drawn in, which hands them its frame's pixels
    // before that memory can go.
    std::shared_ptr<platform::Surface> surface_ = std::make_shared<platform::Surface>();
    // While drawn where it is shown: that window, and its frame.
    HWND shownIn_ = nullptr;
    platform::PixelView frame_;
    platform::PixelView handedOut_;
    // A delivered video picture that stands for the surface's pixels until they are needed.
    std::unique_ptr<platform::PendingPicture> pending_;
    HDC dc_ = nullptr;
    IDirectDrawSurface* attached_ = nullptr;
    IDirectDrawClipper* clipper_ = nullptr;
    HWND exclusiveWindow_ = nullptr;
    uint32_t resetsAtCreation_ = 0;
};

class IDirectDraw7 {
public:
    ULONG AddRef();
    ULONG Release();

private:
    friend class IDirectDraw;
    IDirectDraw* object_ = nullptr;
};

// The DirectDraw object also makes the surfaces a video sample decodes into, in the display's format.
class IDirectDraw final : public platform::RefCounted<platform::SampleTargetFactory> {
public:
    // IID_IDirectDraw7 or IID_IDirectDraw; E_NOINTERFACE for anything else.
    HRESULT QueryInterface(const GUID& iid, void** object);
    HRESULT SetCooperativeLevel(HWND window, DWORD flags);
    // Available when the mode fits the desktop and bpp is 16 or 32, otherwise DDERR_INVALIDMODE.
    HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bpp);
    HRESULT RestoreDisplayMode();
    HRESULT CreateSurface(DDSURFACEDESC* description, IDirectDrawSurface** surface, void* outer);
    HRESULT CreateClipper(DWORD flags, IDirectDrawClipper** clipper, void* outer);
    HRESULT GetCaps(DDCAPS* driverCaps, DDCAPS* emulationCaps);

    // An off-screen plain surface of width × height, one reference held for the caller.
    platform::SampleTarget* createSampleTarget(int width, int height) override;
    uint32_t factoryAddRef() override { return AddRef(); }
    uint32_t factoryRelease() override { return Release(); }

private:
    friend HRESULT DirectDrawCreate(GUID*, IDirectDraw**, void*);
    friend class IDirectDraw7;
    friend class IDirectDrawSurface;
    IDirectDraw();
    ~IDirectDraw() override;
    std::unique_ptr<platform::DirectDrawObject> object_;
    IDirectDraw7 interface7_;
};

using LPDDENUMCALLBACKA = BOOL (*)(GUID* guid, char* description, char* driverName, void* context);

// Calls back once per display device; the primary display comes first with a null GUID.
HRESULT DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, void* context);
// The DirectDraw object of the default display driver (null GUID); a device GUID from the enumeration
// names another display, which is shown the same way.
HRESULT DirectDrawCreate(GUID* guid, IDirectDraw** directDraw, void* outer);
