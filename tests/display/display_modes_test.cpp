#include "app/system.h"
#include "display/display.h"
#include "display/display_modes.h"
#include "platform/ddraw/display_driver.h"
#include "platform/window/window_screens.h"
#include "support/input_injection.h"
#include "support/log_capture.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace sublumen;
using namespace testing_support;

namespace {

std::string markers(std::initializer_list<int> numbers)
{
    std::string text;
    for (int n : numbers)
        text += ">>> initDirectDrawMode() " + std::to_string(n) + "\n";
    return text;
}

class DisplayModes : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto made = std::make_unique<platform::ScriptedDisplayDriver>();
        driver = made.get();
        platform::setDisplayDriver(std::move(made));
        sys.window.mainWindow = window.handle();
    }
    void TearDown() override
    {
        sys.displays.display.reset();
        platform::setDisplayDriver(nullptr);
        unsetenv("SUBLUMEN_MESSAGEBOX_ANSWER");
    }

    void settle(int fullscreen, int width, int height, int bpp)
    {
        sys.settings.fullscreen = fullscreen;
        sys.settings.screenx = width;
        sys.settings.screeny = height;
        sys.settings.bpp = bpp;
    }

    ScratchDir dir;
    LogCapture log { dir };
    RecordingWindow window;
    platform::ScriptedDisplayDriver* driver = nullptr;
    System sys;
};

TEST_F(DisplayModes, WindowModeGivesAClientAreaOfExactlyTheChosenSize)
{
    settle(0, 800, 600, 16);
    ASSERT_EQ(ddEnum(sys), 0);
    RECT client {};
    GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
    EXPECT_TRUE(GetWindowLongA(window.handle(), GWL_STYLE) & WS_VISIBLE);
    Display* display = sys.displays.display.get();
    EXPECT_EQ(display->state, DisplayState::Windowed);
    ASSERT_NE(sys.displays.backSurface(), nullptr);
    EXPECT_EQ(sys.displays.backSurface(), display->back.get());
    EXPECT_EQ(display->back->width, 800);
    EXPECT_EQ(display->back->height, 600);
    // A window shares the desktop, so the back surface takes the desktop's depth, not bpp.
    EXPECT_EQ(display->back->bitsPerPixel, 32u);
    EXPECT_EQ(display->primary->width, 800);
    EXPECT_NE(log.text().find(markers({ 1, 5, 6, 8 })), std::string::npos);
    EXPECT_NE(log.text().find("ddEnum() == 1\nDD-Device 0=display:Scripted display\n"), std::string::npos);
}

TEST_F(DisplayModes, FullScreenBuildsAFlipChainAtTheModesDepth)
{
    settle(1, 800, 600, 16);
    ASSERT_EQ(ddEnum(sys), 0);
    Display* display = sys.displays.display.get();
    EXPECT_EQ(display->state, DisplayState::FullScreen);
    EXPECT_EQ(display->back->kind, SurfaceKind::AttachedBack);
    EXPECT_EQ(display->back->bitsPerPixel, 16u);
    EXPECT_EQ(driver->fullScreenWindow, window.handle());
    // The full-screen window stands for the mode's screen, so clicks map to back-surface pixels.
    RECT client {};
    GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
    EXPECT_NE(log.text().find(markers({ 1, 2, 6, 8 })), std::string::npos);
    EXPECT_EQ(display->present(), 0);
    EXPECT_EQ(driver->presentCount, 1);

    display->shutdown();
    EXPECT_EQ(driver->fullScreenWindow, nullptr);
    EXPECT_FALSE(platform::inExclusiveMode(window.handle()));
}

TEST_F(DisplayModes, RefusedModeFallsBackTo640x480x16AndKeepsRunning)
{
    settle(1, 2048, 1536, 32);
    ASSERT_EQ(ddEnum(sys), 0);
    std::string text = log.text();
    EXPECT_NE(text.find(markers({ 1, 2, 3 }) + "FullMode Change Fail -3\n" + markers({ 4, 6, 8 })), std::string::npos)
        << text;
    EXPECT_EQ(sys.settings.screenx, 640);
    EXPECT_EQ(sys.settings.screeny, 480);
    EXPECT_EQ(sys.settings.bpp, 16);
    ASSERT_NE(sys.displays.backSurface(), nullptr);
    EXPECT_EQ(sys.displays.backSurface()->width, 640);
    EXPECT_EQ(sys.displays.display->state, DisplayState::FullScreen);
}

struct FallbackCase {
    int width, height, bpp;
    bool refuseFallback;
    int initResult;
};

class FullScreenFailures : public DisplayModes, public ::testing::WithParamInterface<FallbackCase> { };

TEST_P(FullScreenFailures, EndInTheDocumentedCodes)
{
    const auto& c = GetParam();
    if (c.refuseFallback)
        driver->refusedModes.insert({ 640, 480, 16 });
    settle(1, c.width, c.height, c.bpp);
    ASSERT_EQ(enumerateDisplayDevices(sys), 1);
    sys.displays.display = std::make_unique<Display>();
    EXPECT_EQ(initDirectDrawMode(sys), c.initResult);
    std::string text = log.text();
    EXPECT_NE(text.find(markers({ 3 })), std::string::npos);
    EXPECT_EQ(text.find(markers({ 4 })), std::string::npos);
    EXPECT_EQ(sys.displays.backSurface(), nullptr);
    EXPECT_EQ(sys.settings.screenx, 640);
}

INSTANTIATE_TEST_SUITE_P(Fallback, FullScreenFailures,
    ::testing::Values(FallbackCase { 640, 480, 16, true, -2 }, FallbackCase { 2048, 1536, 32, true, -1 },
        FallbackCase { 800, 600, 24, true, -1 }));

TEST_F(DisplayModes, FailedFullScreenMakesDdEnumFail)
{
    driver->refusedModes.insert({ 640, 480, 16 });
    settle(1, 640, 480, 16);
    EXPECT_EQ(ddEnum(sys), -5);
}

struct WindowFailureCase {
    const char* answer;
    bool fullScreenWorks;
    int result;
    int fullscreenAfter;
};

class WindowModeFailure : public DisplayModes, public ::testing::WithParamInterface<WindowFailureCase> { };

TEST_P(WindowModeFailure, AsksForFullScreen)
{
    const auto& c = GetParam();
    driver->windowedPrimaryFails = true;
    if (!c.fullScreenWorks)
        driver->refusedModes = { { 800, 600, 16 }, { 640, 480, 16 } };
    setenv("SUBLUMEN_MESSAGEBOX_ANSWER", c.answer, 1);
    settle(0, 800, 600, 16);
    EXPECT_EQ(ddEnum(sys), c.result);
    EXPECT_EQ(sys.settings.fullscreen, c.fullscreenAfter);
    std::string text = log.text();
    EXPECT_NE(text.find(markers({ 1, 5 }) + "WindowMode Change Fail\n"), std::string::npos) << text;
    if (c.result == 0) {
        EXPECT_EQ(sys.displays.display->state, DisplayState::FullScreen);
        EXPECT_NE(sys.displays.backSurface(), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, WindowModeFailure,
    ::testing::Values(WindowFailureCase { "no", true, -5, 0 }, WindowFailureCase { "yes", true, 0, 1 },
        WindowFailureCase { "yes", false, -6, 1 }));

// Sizes no window can take on the 1024 × 768 desktop: they fall back to 640 × 480 as a refused full-screen
// mode does, and the player goes on in a window.
struct WindowSizeCase {
    const char* name;
    int width, height;
};

class UnmakeableWindowSize : public DisplayModes, public ::testing::WithParamInterface<WindowSizeCase> { };

TEST_P(UnmakeableWindowSize, FallsBackTo640x480)
{
    const auto& c = GetParam();
    settle(0, c.width, c.height, 32);
    ASSERT_EQ(ddEnum(sys), 0);
    std::string text = log.text();
    EXPECT_NE(text.find(markers({ 1, 5 }) + "WindowSize " + std::to_string(c.width) + "x" + std::to_string(c.height)
                  + " Fail. Fall back to 640x480\n" + markers({ 6, 8 })),
        std::string::npos)
        << text;
    EXPECT_EQ(sys.settings.screenx, 640);
    EXPECT_EQ(sys.settings.screeny, 480);
    EXPECT_EQ(sys.settings.bpp, 32);
    RECT client {};
    GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    EXPECT_EQ(sys.displays.display->state, DisplayState::Windowed);
    EXPECT_EQ(sys.displays.backSurface()->width, 640);
}

INSTANTIATE_TEST_SUITE_P(Sizes, UnmakeableWindowSize,
    ::testing::Values(WindowSizeCase { "Negative", -5, 480 }, WindowSizeCase { "Empty", 0, 0 },
        WindowSizeCase { "TextReadAsANumber", 3158072, 600 }, WindowSizeCase { "Huge", 100000, 100000 },
        WindowSizeCase { "WiderThanTheDesktop", 1280, 600 }, WindowSizeCase { "TallerThanTheDesktop", 800, 1024 }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DisplayModes, AtMostFourDevicesAreKeptAndLongNamesAreCut)
{
    driver->deviceList.clear();
    for (int i = 0; i < 6; ++i)
        driver->deviceList.push_back({ "drv" + std::to_string(i), "Device " + std::to_string(i), i > 0,
            GUID { static_cast<uint32_t>(i), 1, 2, { 3, 4, 5, 6, 7, 8, 9, 10 } } });
    driver->deviceList[1].description = std::string(300, 'd');
    settle(0, 640, 480, 16);
    ASSERT_EQ(ddEnum(sys), 0);
    EXPECT_EQ(sys.displays.displayDeviceCount, 4);
    std::string text = log.text();
    EXPECT_NE(text.find("ddEnum() == 4\n"), std::string::npos);
    EXPECT_NE(text.find("DD-Device 0=drv0:Device 0\n"), std::string::npos);
    EXPECT_NE(text.find("DD-Device 3=drv3:Device 3\n"), std::string::npos);
    EXPECT_EQ(text.find("DD-Device 4="), std::string::npos);
    EXPECT_EQ(std::string(sys.displays.displayDevices[1].description), std::string(255, 'd'));
    EXPECT_EQ(sys.displays.displayDevices[0].guid.Data1, 0u);
    EXPECT_EQ(sys.displays.displayDevices[0].guid.Data2, 0u);
    EXPECT_EQ(sys.displays.displayDevices[2].guid.Data1, 2u);
}

TEST_F(DisplayModes, NoDeviceMeansNoDisplay)
{
    driver->deviceList.clear();
    EXPECT_EQ(ddEnum(sys), -2);
    EXPECT_NE(log.text().find("ddEnum() == 0\nDirectDrawEnum Fail\n"), std::string::npos);
    EXPECT_EQ(sys.displays.display.get(), nullptr);
}

TEST_F(DisplayModes, FlipChainWithoutBackBufferIsReportedAndCannotPresent)
{
    driver->noBackBuffer = true;
    settle(1, 640, 480, 16);
    EXPECT_EQ(ddEnum(sys), -5);
    EXPECT_NE(log.text().find(markers({ 6 }) + "GetSurface Fail\n"), std::string::npos);
    Display* display = sys.displays.display.get();
    EXPECT_EQ(display->state, DisplayState::FullScreen);
    EXPECT_EQ(display->back, nullptr);
    EXPECT_EQ(display->present(), -1);
}

TEST_F(DisplayModes, LostFullScreenSurfaceAsksForARebuild)
{
    settle(1, 640, 480, 32);
    ASSERT_EQ(ddEnum(sys), 0);
    EXPECT_EQ(sys.displays.display->present(), 0);
    ++driver->resetCount;
    EXPECT_EQ(sys.displays.display->present(), 1);
    EXPECT_EQ(sys.displays.display->ddResult, DDERR_SURFACELOST);
}

TEST_F(DisplayModes, WindowPresentShowsTheBackSurfaceInTheClientArea)
{
    settle(0, 320, 200, 16);
    ASSERT_EQ(ddEnum(sys), 0);
    DisplaySurface* back = sys.displays.backSurface();
    platform::PixelView* pixels = back->surface->pixels();
    ASSERT_NE(pixels, nullptr);
    platform::writePixel(*pixels, 5, 7, platform::packPixel(pixels->format, 255, 0, 0));
    EXPECT_EQ(sys.displays.display->present(), 0);
    ASSERT_EQ(driver->presentCount, 1);
    EXPECT_EQ(driver->lastDestination.left, 0);
    EXPECT_EQ(driver->lastDestination.top, 0);
    EXPECT_EQ(driver->lastDestination.right, 320);
    EXPECT_EQ(driver->lastDestination.bottom, 200);
    int r, g, b;
    platform::readRgb(driver->lastFrame, 5, 7, r, g, b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 0);
    // A lost window primary fails its blits silently.
    ++driver->resetCount;
    EXPECT_EQ(sys.displays.display->present(), 0);
    EXPECT_EQ(driver->presentCount, 1);
}

TEST_F(DisplayModes, WithoutDirectDrawEveryModeSetterFails)
{
    driver->deviceList.clear();
    Display display;
    EXPECT_EQ(display.state, DisplayState::Empty);
    EXPECT_EQ(display.directDraw, nullptr);
    EXPECT_EQ(display.setFullScreenMode(window.handle(), 640, 480, 16), -1);
    EXPECT_EQ(display.setWindowMode(window.handle(), 640, 480), -1);
    EXPECT_EQ(display.setCooperativeLevel(window.handle(), DDSCL_NORMAL), -1);
    EXPECT_EQ(display.createOffScreenSurface(16, 16), nullptr);
    EXPECT_EQ(display.present(), -1);
    display.shutdown();
}

}

namespace {

// The program's own display driver, on SDL's offscreen display (1024 × 768).
class SdlDisplay : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setDisplayDriver(nullptr);
        sys.window.mainWindow = window.handle();
    }
    void TearDown() override
    {
        sys.displays.display.reset();
    }

    ScratchDir dir;
    LogCapture log { dir };
    RecordingWindow window;
    System sys;
};

TEST_F(SdlDisplay, ModeLargerThanTheDesktopIsRefusedAndTheFallbackPresents)
{
    sys.settings.fullscreen = 1;
    sys.settings.screenx = 2048;
    sys.settings.screeny = 1536;
    sys.settings.bpp = 32;
    ASSERT_EQ(ddEnum(sys), 0);
    EXPECT_NE(log.text().find("FullMode Change Fail -3\n" + markers({ 4, 6, 8 })), std::string::npos);
    EXPECT_EQ(sys.displays.backSurface()->bitsPerPixel, 16u);
    EXPECT_EQ(sys.displays.display->present(), 0);
    EXPECT_TRUE(platform::inExclusiveMode(window.handle()));

    // SDL reporting that its render targets were reset loses the full-screen surfaces.
    ASSERT_TRUE(platform::injectRenderTargetsReset());
    drainMessages();
    EXPECT_EQ(sys.displays.display->present(), 1);
}

TEST_F(SdlDisplay, WindowModePresentsIntoTheClientArea)
{
    sys.settings.fullscreen = 0;
    sys.settings.screenx = 320;
    sys.settings.screeny = 240;
    ASSERT_EQ(ddEnum(sys), 0);
    RECT client {};
    GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);
    EXPECT_EQ(sys.displays.display->present(), 0);
    EXPECT_EQ(sys.displays.display->ddResult, DD_OK);
}

}
