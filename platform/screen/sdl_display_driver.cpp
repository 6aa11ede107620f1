// The display driver of the program: SDL's displays, its desktop mode, and the screens of the windows.
#include "platform/ddraw/display_driver.h"

#include "platform/screen/screen.h"
#include "platform/window/window.h"
#include "platform/window/window_object.h"
#include "platform/window/window_screens.h"

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
        Screen* screen = mainScreen();
        int index = screen ? SDL_GetWindowDisplayIndex(screen->window()) : 0;
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

    bool present(HWND window, ConstPixelView source, const RECT& sourceRect, const RECT& destination) override
    {
        Screen* screen = screenOf(window);
        return screen && screen->present(source, sourceRect, destination);
    }

    PixelView frame(HWND window) override
    {
        Screen* screen = screenOf(window);
        return screen ? screen->frame() : PixelView {};
    }

    void keepFrameIn(HWND window, const std::shared_ptr<Surface>& keeper) override
    {
        if (Screen* screen = screenOf(window))
            screen->keepFrameIn(keeper);
    }

    bool framesKeeper(HWND window, const Surface* keeper) override
    {
        Screen* screen = screenOf(window);
        return screen && keeper && screen->frameKeeper() == keeper;
    }

    void endFrame(HWND window) override
    {
        if (Screen* screen = screenOf(window))
            screen->endFrame();
    }

    double presentedScale(HWND window) override
    {
        Screen* screen = screenOf(window);
        return screen ? screen->presentedScale() : 1.0;
    }

    void setPresentedPainter(HWND window, PresentedPainter painter) override
    {
        if (Screen* screen = screenOf(window))
            screen->setPresentedPainter(std::move(painter));
    }

    // Every screen counts the resets SDL reports; the main window's is the one DirectDraw draws on.
    uint32_t resets() override
    {
        Screen* screen = mainScreen();
        return screen ? screen->resets() : 0;
    }
};

}

std::unique_ptr<DisplayDriver> makeSdlDisplayDriver() { return std::make_unique<SdlDisplayDriver>(); }

}
