// What DirectDraw needs from the real display: the devices, the desktop, which modes may be set,
// entering and leaving full screen, and showing pixels. The SDL driver serves the program; the
// scripted driver stands in where a test needs a display that refuses.
#pragma once

#include "platform/surface.h"
#include "platform/win32.h"

#include <functional>
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

// Draws on a picture shown enlarged: the pixels of the shown client area right after the picture was
// scaled there and before they are shown, and the factor it was enlarged by.
using PresentedPainter = std::function<void(PixelView shown, double scale)>;

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
    virtual bool present(HWND window, ConstPixelView source, const RECT& sourceRect, const RECT& destination) = 0;
    // The pixels the window shows when the last picture was shown whole and 1:1 through memory of the
    // window's own: a surface of the same layout may be drawn there instead (keepFrameIn), and is then
    // shown by presenting those pixels the same way. Empty when there are none; valid until the next
    // present of anything else or a resize.
    virtual PixelView frame(HWND /*window*/) { return {}; }
    // Until the frame stops being shown as it is, keeper is where its pixels go before its memory can.
    virtual void keepFrameIn(HWND /*window*/, const std::shared_ptr<Surface>& /*keeper*/) {}
    // Whether keeper still stands for the window's frame (it is drawn there, not in its own pixels).
    virtual bool framesKeeper(HWND /*window*/, const Surface* /*keeper*/) { return false; }
    // Hands the window's frame to its keeper now.
    virtual void endFrame(HWND /*window*/) {}
    // Counts presentation resets; the primary surfaces made before a reset are lost.
    virtual uint32_t resets() = 0;
    // The factor the window's client area is enlarged by where it is shown: above 1 when a full-screen
    // mode smaller than the desktop fills it, else 1.
    virtual double presentedScale(HWND /*window*/) { return 1.0; }
    // While set, a present of the whole client area enlarged hands painter the shown pixels first.
    virtual void setPresentedPainter(HWND /*window*/, PresentedPainter /*painter*/) {}
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
    // The full-screen mode entered; it fills the desktop with its aspect kept, enlarged when smaller.
    int modeWidth = 0;
    int modeHeight = 0;
    PresentedPainter painter;

    std::vector<DisplayDeviceInfo> devices() override { return deviceList; }
    bool desktop(DesktopMode& mode) override;
    bool modeAvailable(int width, int height, int bpp) override;
    bool enterFullScreen(HWND window, int width, int height) override;
    void leaveFullScreen(HWND window) override;
    bool primaryAvailable(bool exclusive) override { return exclusive || !windowedPrimaryFails; }
    bool backBufferAvailable() override { return !noBackBuffer; }
    bool present(HWND window, ConstPixelView source, const RECT& sourceRect, const RECT& destination) override;
    uint32_t resets() override { return resetCount; }
    double presentedScale(HWND window) override;
    void setPresentedPainter(HWND, PresentedPainter p) override { painter = std::move(p); }
};

}
