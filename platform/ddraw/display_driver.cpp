#include "platform/ddraw/display_driver.h"

#include "platform/window/window_screens.h"

namespace platform {

std::unique_ptr<DisplayDriver> makeSdlDisplayDriver();

namespace {

std::unique_ptr<DisplayDriver>& currentDriver()
{
    static std::unique_ptr<DisplayDriver> driver;
    return driver;
}

}

bool DisplayDriver::modeAvailable(int width, int height, int bpp)
{
    DesktopMode mode;
    if (!desktop(mode))
        return false;
    return width > 0 && height > 0 && width <= mode.width && height <= mode.height && (bpp == 16 || bpp == 32);
}

DisplayDriver& displayDriver()
{
    auto& driver = currentDriver();
    if (!driver)
        driver = makeSdlDisplayDriver();
    return *driver;
}

void setDisplayDriver(std::unique_ptr<DisplayDriver> driver)
{
    currentDriver() = std::move(driver);
}

bool ScriptedDisplayDriver::desktop(DesktopMode& mode)
{
    mode = desktopMode;
    return desktopMode.width > 0 && desktopMode.height > 0;
}

bool ScriptedDisplayDriver::modeAvailable(int width, int height, int bpp)
{
    if (refusedModes.count({ width, height, bpp }))
        return false;
    return DisplayDriver::modeAvailable(width, height, bpp);
}

bool ScriptedDisplayDriver::enterFullScreen(HWND window, int width, int height)
{
    if (!enterExclusiveMode(window, width, height))
        return false;
    fullScreenWindow = window;
    return true;
}

void ScriptedDisplayDriver::leaveFullScreen(HWND window)
{
    leaveExclusiveMode(window);
    if (fullScreenWindow == window)
        fullScreenWindow = nullptr;
}

bool ScriptedDisplayDriver::present(HWND, ConstPixelView source, const RECT& sourceRect, const RECT& destination)
{
    ++presentCount;
    lastFrame = source;
    lastSourceRect = sourceRect;
    lastDestination = destination;
    return true;
}

}
