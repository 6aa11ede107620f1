// What DirectDraw needs from the real display: the devices, the desktop, which modes may be set,
// entering and leaving full screen, and showing pixels. The SDL driver serves the program; the
// scripted driver stands in where a test needs a display that refuses.
#pragma once

#include "platform/surface.h"
#include "platform/win32.h"

#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace platform {

struct DisplayDeviceInfo {
    std::string driverName;
    std::string description;
    bool hasGuid = false;
    GUID guid {};
};

struct DesktopMode {
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::XRGB8888;
};

class DisplayDriver {
public:
    virtual ~DisplayDriver() = default;
    // The displays, primary first; empty when there is no display at all.
    virtual std::vector<DisplayDeviceInfo> devices() = 0;
    virtual bool desktop(DesktopMode& mode) = 0;
    // A full-screen mode is available when it fits the desktop and its depth is 16 or 32.
    virtual bool modeAvailable(int width, int height, int bpp);
    virtual bool enterFullScreen(HWND window, int width, int height) = 0;
    virtual void leaveFullScreen(HWND window) = 0;
    // Whether a primary surface can be made in the given cooperative level.
    virtual bool primaryAvailable(bool /*exclusive*/) { return true; }
    // Whether a flip chain gets its back buffer.
    virtual bool backBufferAvailable() { return true; }
    virtual bool present(HWND window, const Surface& source, const RECT& sourceRect, const RECT& destination) = 0;
    // Shows source like present, and where the window shows it whole and unscaled in memory of its own
    // layout, may lend that memory to source, so that what is drawn into it next is drawn where it is
    // shown and the next such present only has to show it. A surface that holds a loan ends it with
    // endWindowPixelLoan (platform/window/presentation.h) before it goes away.
    virtual bool presentLending(HWND window, Surface& source, const RECT& sourceRect, const RECT& destination)
    {
        return present(window, source, sourceRect, destination);
    }
    // Counts presentation resets; the primary surfaces made before a reset are lost.
    virtual uint32_t resets() = 0;
};

// The driver in use: the SDL one unless a test put another in place.
DisplayDriver& displayDriver();
// Puts driver in place (null: the SDL driver again).
void setDisplayDriver(std::unique_ptr<DisplayDriver> driver);

// A display whose answers are set by a test. Window handling is the real window layer's; pictures are
// kept instead of shown.
class ScriptedDisplayDriver : public DisplayDriver {
public:
    std::vector<DisplayDeviceInfo> deviceList { { "display", "Scripted display", false, {} } };
    DesktopMode desktopMode { 1024, 768, PixelFormat::XRGB8888 };
    // Modes refused although they fit: (width, height, bpp).
    std::set<std::tuple<int, int, int>> refusedModes;
    bool windowedPrimaryFails = false;
    bool noBackBuffer = false;
    uint32_t resetCount = 0;

    // What was shown.
    int presentCount = 0;
    Surface lastFrame;
    RECT lastSourceRect {};
    RECT lastDestination {};
    HWND fullScreenWindow = nullptr;

    std::vector<DisplayDeviceInfo> devices() override { return deviceList; }
    bool desktop(DesktopMode& mode) override;
    bool modeAvailable(int width, int height, int bpp) override;
    bool enterFullScreen(HWND window, int width, int height) override;
    void leaveFullScreen(HWND window) override;
    bool primaryAvailable(bool exclusive) override { return exclusive || !windowedPrimaryFails; }
    bool backBufferAvailable() override { return !noBackBuffer; }
    bool present(HWND window, const Surface& source, const RECT& sourceRect, const RECT& destination) override;
    uint32_t resets() override { return resetCount; }
};

}
