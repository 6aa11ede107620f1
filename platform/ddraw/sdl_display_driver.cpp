// The display driver of the program: SDL's displays, its desktop mode and the window layer's
// presentation.
#include "platform/ddraw/display_driver.h"

#include "platform/window/presentation.h"
#include "platform/window/window_object.h"
#include "platform/window/window_registry.h"

#include <cstdio>

namespace platform {

namespace {

class SdlDisplayDriver final : public DisplayDriver {
public:
    std::vector<DisplayDeviceInfo> devices() override
    {
        std::vector<DisplayDeviceInfo> list;
        if (!startVideo())
            return list;
        int count = SDL_GetNumVideoDisplays();
        for (int i = 0; i < count; ++i) {
            DisplayDeviceInfo info;
            const char* name = SDL_GetDisplayName(i);
            char driver[32];
            std::snprintf(driver, sizeof driver, "display%d", i + 1);
            info.driverName = driver;
            info.description = name && *name ? name : driver;
            // The primary display is the default driver and has no GUID; the others are told apart by
            // their index in the GUID's last bytes.
            info.hasGuid = i > 0;
            if (info.hasGuid) {
                info.guid = GUID { 0x53424C4D, 0x0000, 0x0000, { 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(i) } };
            }
            list.push_back(std::move(info));
        }
        return list;
    }

    bool desktop(DesktopMode& mode) override
    {
        // The display the main window is on: the one its full screen covers.
        if (!desktopSize(nullptr, mode.width, mode.height))
            return false;
        WindowObject* window = liveWindow(windowRegistry().mainWindow);
        int index = window && window->sdl ? SDL_GetWindowDisplayIndex(window->sdl) : 0;
        SDL_DisplayMode desktopMode {};
        if (SDL_GetDesktopDisplayMode(index < 0 ? 0 : index, &desktopMode) != 0)
            return false;
        mode.format = SDL_BITSPERPIXEL(desktopMode.format) == 16 ? PixelFormat::RGB565 : PixelFormat::XRGB8888;
        return true;
    }

    bool enterFullScreen(HWND window, int width, int height) override
    {
        return enterExclusiveMode(window, width, height);
    }

    void leaveFullScreen(HWND window) override { leaveExclusiveMode(window); }

    bool present(HWND window, const Surface& source, const RECT& sourceRect, const RECT& destination) override
    {
        return presentToWindow(window, source, sourceRect, destination);
    }

    bool presentLending(HWND window, Surface& source, const RECT& sourceRect, const RECT& destination) override
    {
        return presentToWindowLending(window, source, sourceRect, destination);
    }

    uint32_t resets() override { return presentationResets(); }
};

}

std::unique_ptr<DisplayDriver> makeSdlDisplayDriver() { return std::make_unique<SdlDisplayDriver>(); }

}
