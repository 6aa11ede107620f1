#include "platform/ddraw/display_driver.h"

#include "platform/picture_scaling.h"
#include "platform/screen/screen_geometry.h"
#include "platform/window/window_screens.h"

#include <algorithm>

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
    modeWidth = width;
    modeHeight = height;
    return true;
}

void ScriptedDisplayDriver::leaveFullScreen(HWND window)
{
    leaveExclusiveMode(window);
    if (fullScreenWindow == window)
        fullScreenWindow = nullptr;
}

namespace {

ScreenGeometry scriptedGeometry(const DesktopMode& desktop, int modeWidth, int modeHeight)
{
    ScreenGeometry g;
    g.physicalWidth = desktop.width;
    g.physicalHeight = desktop.height;
    g.exclusive = true;
    g.screenWidth = modeWidth;
    g.screenHeight = modeHeight;
    return g;
}

}

double ScriptedDisplayDriver::presentedScale(HWND window)
{
    if (!window || window != fullScreenWindow || modeWidth <= 0 || modeHeight <= 0)
        return 1.0;
    const Area view = viewportOf(scriptedGeometry(desktopMode, modeWidth, modeHeight));
    const double f = std::min(static_cast<double>(view.w) / modeWidth, static_cast<double>(view.h) / modeHeight);
    return f > 1.0 ? f : 1.0;
}

bool ScriptedDisplayDriver::present(HWND window, ConstPixelView source, const RECT& sourceRect, const RECT& destination)
{
    ++presentCount;
    const double f = presentedScale(window);
    const RECT whole { 0, 0, modeWidth, modeHeight };
    auto same = [](const RECT& a, const RECT& b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    };
    if (painter && f > 1.0 && same(sourceRect, whole) && same(destination, whole)) {
        // What the screen would show in its viewport: the picture enlarged, then the painter's texts.
        const Area view = viewportOf(scriptedGeometry(desktopMode, modeWidth, modeHeight));
        lastFrame = Surface(view.w, view.h, source.format);
        PictureScaler scaler;
        scaler.scale(source, sourceRect, lastFrame.view());
        painter(lastFrame.view(), f);
    } else {
        lastFrame = source;
    }
    lastSourceRect = sourceRect;
    lastDestination = destination;
    return true;
}

}
