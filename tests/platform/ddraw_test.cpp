#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/display_driver.h"
#include "platform/gdi/gdi.h"
#include "platform/picture_scaling.h"
#include "platform/window/window_screens.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testing_support;

namespace {

// A primary surface with one back buffer to flip to, as full screen asks for.
DDSURFACEDESC flipChainDescription()
{
    DDSURFACEDESC description {};
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    description.dwBackBufferCount = 1;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    return description;
}

class DirectDraw : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto made = std::make_unique<platform::ScriptedDisplayDriver>();
        driver = made.get();
        platform::setDisplayDriver(std::move(made));
        ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    }
    void TearDown() override
    {
        if (dd)
            dd->Release();
        platform::setDisplayDriver(nullptr);
    }

    IDirectDrawSurface* offScreen(int width, int height, DWORD extraFlags = 0, const DDPIXELFORMAT* format = nullptr)
    {
        DDSURFACEDESC description {};
        description.dwSize = publishedSurfaceDescSize;
        description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | extraFlags;
        description.dwWidth = static_cast<DWORD>(width);
        description.dwHeight = static_cast<DWORD>(height);
        description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        if (format)
            description.ddpfPixelFormat = *format;
        IDirectDrawSurface* surface = nullptr;
        lastResult = dd->CreateSurface(&description, &surface, nullptr);
        return surface;
    }

    // Row y painted with red = y * 10 (and green = x), in the surface's own format.
    static void paintRows(IDirectDrawSurface* surface)
    {
        platform::PixelView& s = *surface->pixels();
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                platform::writePixel(s, x, y, platform::packPixel(s.format, y * 10, x * 8, 0));
    }
    static int redAt(IDirectDrawSurface* surface, int x, int y)
    {
        int r, g, b;
        platform::readRgb(*surface->pixels(), x, y, r, g, b);
        return r;
    }

    RecordingWindow window { 320, 240 };
    platform::ScriptedDisplayDriver* driver = nullptr;
    IDirectDraw* dd = nullptr;
    HRESULT lastResult = DD_OK;
};

TEST_F(DirectDraw, OffScreenSurfacesTakeTheDisplayFormatOrTheOneAsked)
{
    IDirectDrawSurface* desktopFormat = offScreen(33, 17);
    ASSERT_NE(desktopFormat, nullptr);
    DDSURFACEDESC description {};
    description.dwSize = publishedSurfaceDescSize;
    ASSERT_EQ(desktopFormat->GetSurfaceDesc(&description), DD_OK);
    EXPECT_EQ(description.dwWidth, 33u);
    EXPECT_EQ(description.dwHeight, 17u);
    EXPECT_EQ(description.ddpfPixelFormat.dwRGBBitCount, 32u);
    EXPECT_EQ(description.lPitch, 33 * 4);

    DDPIXELFORMAT rgb565 { sizeof(DDPIXELFORMAT), DDPF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0 };
    IDirectDrawSurface* sixteen = offScreen(8, 8, DDSD_PIXELFORMAT, &rgb565);
    ASSERT_NE(sixteen, nullptr);
    EXPECT_EQ(sixteen->pixels()->format, platform::PixelFormat::RGB565);

    DDPIXELFORMAT rgb555 { sizeof(DDPIXELFORMAT), DDPF_RGB, 0, 16, 0x7C00, 0x03E0, 0x001F, 0 };
    EXPECT_EQ(offScreen(8, 8, DDSD_PIXELFORMAT, &rgb555), nullptr);
    EXPECT_EQ(lastResult, DDERR_INVALIDPIXELFORMAT);
    EXPECT_EQ(offScreen(0, 8), nullptr);
    EXPECT_EQ(offScreen(100000, 8), nullptr);
    EXPECT_EQ(lastResult, DDERR_INVALIDPARAMS);

    DDSURFACEDESC wrongSize {};
    wrongSize.dwSize = 12;
    EXPECT_EQ(desktopFormat->GetSurfaceDesc(&wrongSize), DDERR_INVALIDPARAMS);
    desktopFormat->Release();
    sixteen->Release();
}

TEST_F(DirectDraw, BltScalesAndMirrorsTopToBottom)
{
    IDirectDrawSurface* source = offScreen(4, 4);
    IDirectDrawSurface* target = offScreen(4, 8);
    paintRows(source);
    ASSERT_EQ(target->Blt(nullptr, source, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(redAt(target, 0, 0), 0);
    EXPECT_EQ(redAt(target, 0, 7), 30);

    DDBLTFX effects {};
    effects.dwSize = sizeof effects;
    effects.dwDDFX = DDBLTFX_MIRRORUPDOWN;
    RECT half { 0, 0, 4, 4 };
    ASSERT_EQ(target->Blt(&half, source, nullptr, DDBLT_WAIT | DDBLT_DDFX, &effects), DD_OK);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(redAt(target, 2, y), (3 - y) * 10) << "row " << y;

    // Effects without their record, rectangles outside a surface and mixed formats are refused.
    EXPECT_EQ(target->Blt(nullptr, source, nullptr, DDBLT_DDFX, nullptr), DDERR_INVALIDPARAMS);
    RECT outside { 2, 2, 9, 9 };
    EXPECT_EQ(target->Blt(&outside, source, nullptr, 0, nullptr), DDERR_INVALIDRECT);
    RECT empty { 2, 2, 2, 3 };
    EXPECT_EQ(target->Blt(nullptr, source, &empty, 0, nullptr), DDERR_INVALIDRECT);
    DDPIXELFORMAT rgb565 { sizeof(DDPIXELFORMAT), DDPF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0 };
    IDirectDrawSurface* sixteen = offScreen(4, 4, DDSD_PIXELFORMAT, &rgb565);
    EXPECT_EQ(target->Blt(nullptr, sixteen, nullptr, 0, nullptr), DDERR_INVALIDPIXELFORMAT);

    effects.dwFillColor = platform::packPixel(platform::PixelFormat::XRGB8888, 200, 0, 0);
    RECT corner { 3, 7, 4, 8 };
    ASSERT_EQ(target->Blt(&corner, nullptr, nullptr, DDBLT_COLORFILL, &effects), DD_OK);
    EXPECT_EQ(redAt(target, 3, 7), 200);
    EXPECT_EQ(redAt(target, 2, 7), 30);
}

TEST_F(DirectDraw, DeviceContextDrawsOnTheSurfacePixelsOneAtATime)
{
    IDirectDrawSurface* surface = offScreen(16, 16);
    HDC dc = nullptr;
    ASSERT_EQ(surface->GetDC(&dc), DD_OK);
    ASSERT_NE(dc, nullptr);
    HDC second = nullptr;
    EXPECT_EQ(surface->GetDC(&second), DDERR_DCALREADYCREATED);
    RECT box { 2, 2, 6, 6 };
    FillRect(dc, &box, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(surface->ReleaseDC(second), DDERR_INVALIDPARAMS);
    ASSERT_EQ(surface->ReleaseDC(dc), DD_OK);
    EXPECT_EQ(redAt(surface, 3, 3), 255);
    EXPECT_EQ(redAt(surface, 7, 7), 0);
    EXPECT_EQ(surface->GetDC(&dc), DD_OK);
    surface->ReleaseDC(dc);
}

TEST_F(DirectDraw, InterfacesAndCapabilities)
{
    void* object = nullptr;
    ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw7, &object), S_OK);
    auto* seven = static_cast<IDirectDraw7*>(object);
    GUID other { 1, 2, 3, { 4, 5, 6, 7, 8, 9, 10, 11 } };
    EXPECT_EQ(dd->QueryInterface(other, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    // One object behind both interfaces: the count is shared.
    EXPECT_EQ(dd->AddRef(), 3u);
    EXPECT_EQ(dd->Release(), 2u);
    EXPECT_EQ(seven->Release(), 1u);

    DDCAPS caps {};
    caps.dwSize = sizeof caps;
    ASSERT_EQ(dd->GetCaps(&caps, nullptr), DD_OK);
    EXPECT_EQ(caps.dwCaps & DDCAPS_OVERLAY, 0u);
    EXPECT_NE(caps.dwCaps & DDCAPS_BLTSTRETCH, 0u);
    DDCAPS small {};
    small.dwSize = 100;
    EXPECT_EQ(dd->GetCaps(&small, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->GetCaps(nullptr, nullptr), DDERR_INVALIDPARAMS);
}

TEST_F(DirectDraw, ModesFollowTheDesktopAndTheDepth)
{
    EXPECT_EQ(dd->SetDisplayMode(640, 480, 16), DDERR_NOEXCLUSIVEMODE);
    ASSERT_EQ(dd->SetCooperativeLevel(window.handle(), DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWREBOOT), DD_OK);
    EXPECT_EQ(dd->SetDisplayMode(1280, 960, 16), DDERR_INVALIDMODE);
    EXPECT_EQ(dd->SetDisplayMode(640, 480, 24), DDERR_INVALIDMODE);
    EXPECT_EQ(dd->SetDisplayMode(0, 480, 16), DDERR_INVALIDMODE);
    ASSERT_EQ(dd->SetDisplayMode(1024, 768, 32), DD_OK);
    EXPECT_TRUE(platform::inExclusiveMode(window.handle()));
    ASSERT_EQ(dd->RestoreDisplayMode(), DD_OK);
    EXPECT_FALSE(platform::inExclusiveMode(window.handle()));
    EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->SetCooperativeLevel(nullptr, 0), DDERR_INVALIDPARAMS);
}

TEST_F(DirectDraw, FlipChainLivesAndDiesWithItsPrimary)
{
    dd->SetCooperativeLevel(window.handle(), DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE);
    ASSERT_EQ(dd->SetDisplayMode(320, 200, 16), DD_OK);
    DDSURFACEDESC description = flipChainDescription();
    IDirectDrawSurface* primary = nullptr;
    ASSERT_EQ(dd->CreateSurface(&description, &primary, nullptr), DD_OK);
    IDirectDrawSurface* again = nullptr;
    EXPECT_EQ(dd->CreateSurface(&description, &again, nullptr), DDERR_PRIMARYSURFACEALREADYEXISTS);
    DDSCAPS caps { DDSCAPS_BACKBUFFER };
    IDirectDrawSurface* back = nullptr;
    ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
    EXPECT_EQ(back->pixels()->width, 320);
    EXPECT_EQ(back->pixels()->format, platform::PixelFormat::RGB565);
    EXPECT_EQ(primary->pixels(), nullptr);
    HDC dc = nullptr;
    EXPECT_EQ(primary->GetDC(&dc), DDERR_CANTCREATEDC);
    EXPECT_EQ(back->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);
    ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);
    EXPECT_EQ(driver->presentCount, 1);
    EXPECT_EQ(driver->lastFrame.width, 320);

    // The back buffer goes with the primary even though its reference was never given back.
    primary->Release();
    EXPECT_EQ(back->pixels(), nullptr);
    EXPECT_EQ(back->GetDC(&dc), DDERR_SURFACELOST);
}

TEST_F(DirectDraw, ReleasingDirectDrawDestroysWhatItMade)
{
    IDirectDrawSurface* surface = offScreen(8, 8);
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(dd->CreateClipper(0, &clipper, nullptr), DD_OK);
    ASSERT_EQ(clipper->SetHWnd(0, window.handle()), DD_OK);
    HWND named = nullptr;
    clipper->GetHWnd(&named);
    EXPECT_EQ(named, window.handle());
    EXPECT_EQ(surface->SetClipper(clipper), DD_OK);
    IDirectDrawClipper* got = nullptr;
    ASSERT_EQ(surface->GetClipper(&got), DD_OK);
    EXPECT_EQ(got, clipper);
    got->Release();
    clipper->Release();
    EXPECT_EQ(dd->Release(), 0u);
    dd = nullptr;
    // Nothing to check on freed objects; the sanitizer build catches a use after free or a leak here.
}

TEST_F(DirectDraw, EnumerationAndCreationByDevice)
{
    driver->deviceList.push_back({ "second", "Second display", true, GUID { 9, 9, 9, { 9 } } });
    int seen = 0;
    auto count = [](GUID*, char*, char*, void* context) -> BOOL {
        ++*static_cast<int*>(context);
        return DDENUMRET_OK;
    };
    ASSERT_EQ(DirectDrawEnumerateA(count, &seen), DD_OK);
    EXPECT_EQ(seen, 2);
    seen = 0;
    auto stop = [](GUID*, char*, char*, void* context) -> BOOL {
        ++*static_cast<int*>(context);
        return DDENUMRET_CANCEL;
    };
    DirectDrawEnumerateA(stop, &seen);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(DirectDrawEnumerateA(nullptr, nullptr), DDERR_INVALIDPARAMS);

    GUID second { 9, 9, 9, { 9 } };
    IDirectDraw* other = nullptr;
    ASSERT_EQ(DirectDrawCreate(&second, &other, nullptr), DD_OK);
    other->Release();
    GUID unknown { 1, 1, 1, { 1 } };
    EXPECT_EQ(DirectDrawCreate(&unknown, &other, nullptr), DDERR_INVALIDDIRECTDRAWGUID);
    EXPECT_EQ(DirectDrawCreate(nullptr, nullptr, nullptr), DDERR_INVALIDPARAMS);
}

// Red of every pixel of row y.
std::vector<int> redsOfRow(const platform::Surface& s, int y)
{
    std::vector<int> reds;
    for (int x = 0; x < s.width; ++x) {
        int r, g, b;
        platform::readRgb(s, x, y, r, g, b);
        reds.push_back(r);
    }
    return reds;
}

// A one-pixel white line on black, enlarged: a filtered enlargement spreads it over greys that add up
// to the line's light, where a nearest-neighbour one duplicates it into two or three full columns.
void expectFilteredLine(const std::vector<int>& reds, double factor)
{
    int greys = 0, whites = 0, light = 0;
    for (int v : reds) {
        greys += v > 8 && v < 247;
        whites += v >= 247;
        light += v;
    }
    EXPECT_GE(greys, 2);
    EXPECT_LE(whites, 1);
    EXPECT_NEAR(light, factor * 255, factor * 255 * 0.1);
}

TEST(FullScreenPicture, TheScalerFiltersALineEnlarged2Point25Times)
{
    platform::Surface line(64, 8, platform::PixelFormat::XRGB8888);
    for (int y = 0; y < line.height; ++y)
        platform::writePixel(line, 20, y, 0xFFFFFF);
    for (auto format : { platform::PixelFormat::XRGB8888, platform::PixelFormat::RGB565 }) {
        platform::Surface screen(144, 18, format);
        platform::PictureScaler scaler;
        scaler.scale(line, RECT { 0, 0, 64, 8 },
            platform::PixelView { screen.pixels.data(), screen.pitch, screen.width, screen.height, format });
        for (int y : { 0, 9, 17 })
            expectFilteredLine(redsOfRow(screen, y), 2.25);
    }
}

TEST(FullScreenPicture, TheDesktopModeIsShownOneToOneAndASmallerModeFiltered)
{
    RecordingWindow window { 320, 240 };
    int width = 0, height = 0;
    ASSERT_TRUE(platform::desktopSize(window.handle(), width, height));

    ASSERT_TRUE(platform::enterExclusiveMode(window.handle(), width, height));
    platform::Surface picture(width, height, platform::PixelFormat::XRGB8888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            platform::writePixel(picture, x, y, platform::packPixel(picture.format, x * 7, y * 3, x ^ y));
    RECT whole { 0, 0, width, height };
    ASSERT_TRUE(platform::presentToWindow(window.handle(), picture, whole, whole));
    platform::Surface shown;
    ASSERT_TRUE(platform::readShownPicture(window.handle(), shown));
    EXPECT_TRUE(shown.pixels == picture.pixels);

    // A quarter of the desktop's width in 16 bits, enlarged to fill it.
    const int modeWidth = width / 4, modeHeight = height / 4;
    ASSERT_TRUE(platform::enterExclusiveMode(window.handle(), modeWidth, modeHeight));
    platform::Surface mode(modeWidth, modeHeight, platform::PixelFormat::RGB565);
    for (int y = 0; y < modeHeight; ++y)
        platform::writePixel(mode, modeWidth / 2, y, 0xFFFF);
    RECT modeRect { 0, 0, modeWidth, modeHeight };
    ASSERT_TRUE(platform::presentToWindow(window.handle(), mode, modeRect, modeRect));
    ASSERT_TRUE(platform::readShownPicture(window.handle(), shown));
    ASSERT_EQ(shown.width, width);
    expectFilteredLine(redsOfRow(shown, height / 2), static_cast<double>(width) / modeWidth);
    platform::leaveExclusiveMode(window.handle());
}

// Full screen at the desktop's own size, on SDL's offscreen driver: from the second flip on the back
// buffer is composed in the memory the screen shows from, and each flip shows exactly what was
// composed; leaving full screen gives the back buffer its pixels back.
TEST(FullScreenPicture, AtTheDesktopsSizeTheBackBufferIsComposedWhereItIsShown)
{
    platform::setDisplayDriver(nullptr);
    RecordingWindow window { 320, 240 };
    int width = 0, height = 0;
    ASSERT_TRUE(platform::desktopSize(window.handle(), width, height));
    IDirectDraw* dd = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    ASSERT_EQ(dd->SetCooperativeLevel(window.handle(), DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DD_OK);
    ASSERT_EQ(dd->SetDisplayMode(static_cast<DWORD>(width), static_cast<DWORD>(height), 32), DD_OK);
    DDSURFACEDESC description = flipChainDescription();
    IDirectDrawSurface* primary = nullptr;
    ASSERT_EQ(dd->CreateSurface(&description, &primary, nullptr), DD_OK);
    DDSCAPS caps { DDSCAPS_BACKBUFFER };
    IDirectDrawSurface* back = nullptr;
    ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);

    auto frame = [&](int seed) {
        platform::Surface picture(width, height, platform::PixelFormat::XRGB8888);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                platform::writePixel(picture, x, y, platform::packPixel(picture.format, x * 7 + seed, y * 3, seed * 50));
        return picture;
    };
    auto samePixels = [](platform::ConstPixelView a, platform::ConstPixelView b) {
        if (a.width != b.width || a.height != b.height)
            return false;
        for (int y = 0; y < a.height; ++y)
            for (int x = 0; x < a.width; ++x)
                if ((platform::readPixel(a, x, y) & 0xFFFFFF) != (platform::readPixel(b, x, y) & 0xFFFFFF))
                    return false;
        return true;
    };
    for (int seed : { 1, 2, 3 }) {
        SCOPED_TRACE(seed);
        const platform::Surface composed = frame(seed);
        platform::copyPixels(composed, *back->pixels());
        ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);
        EXPECT_TRUE(back->drawnWhereShown());
        platform::Surface shown;
        ASSERT_TRUE(platform::readShownPicture(window.handle(), shown));
        EXPECT_TRUE(samePixels(shown, composed));
    }
    ASSERT_EQ(dd->RestoreDisplayMode(), DD_OK);
    EXPECT_FALSE(back->drawnWhereShown());
    EXPECT_TRUE(samePixels(*back->pixels(), frame(3)));
    back->Release();
    primary->Release();
    dd->Release();
}

}
