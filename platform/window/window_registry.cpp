// The one registry of windows, and bringing up SDL's video for them.
#include "platform/window/window_registry.h"

#include "platform/kernel.h"
#include "platform/screen/display_scale.h"
#include "platform/window/display_server.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

WindowRegistry& windowRegistry()
{
    static WindowRegistry instance;
    return instance;
}

bool startVideo()
{
    auto& reg = windowRegistry();
    if (reg.started)
        return true;
    if (reg.startFailed)
        return false;
    SDL_SetHint("SDL_QUIT_ON_LAST_WINDOW_CLOSE", "0");
    if (defaultPresentPath() == PresentPath::Framebuffer)
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (startVideoOnDisplayServer(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) {
        platformLog("SDL video start failed: %s\n", SDL_GetError());
        std::fprintf(stderr, "Sublumen: the display cannot be used: %s\n", SDL_GetError());
        reg.startFailed = true;
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    // Without a display SDL falls back to a driver that shows nothing. Unless that driver was asked for
    // by name (automated checks), there is no screen: say so plainly instead of playing to nobody.
    if (driver && (!asked || !*asked) && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy"))) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr,
            "Sublumen: no display to show the movie on (DISPLAY is %s%s); run it from a desktop session.\n",
            display && *display ? "set to " : "not set", display && *display ? display : "");
        platformLog("No display: SDL found only its %s driver, which shows nothing; no window can be made.\n", driver);
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS);
        reg.startFailed = true;
        return false;
    }
    surviveDisplayErrors();
    takeHangUpAsTerminate();
    reg.wakeEvent = SDL_RegisterEvents(2);
    reg.crossThreadEvent = reg.wakeEvent + 1;
    reg.started = true;
    return true;
}

const char* videoDriverName() { return windowRegistry().started ? SDL_GetCurrentVideoDriver() : nullptr; }

WindowObject* windowFromSdlId(uint32_t id)
{
    for (auto& window : windowRegistry().windows)
        if (window->sdl() && SDL_GetWindowID(window->sdl()) == id)
            return window.get();
    return nullptr;
}

WindowObject* liveWindow(HWND handle)
{
    if (!handle)
        return nullptr;
    for (auto& window : windowRegistry().windows)
        if (window.get() == handle)
            return window.get();
    return nullptr;
}

uint32_t sdlWindowId(HWND handle)
{
    WindowObject* window = liveWindow(handle);
    return window && window->sdl() ? SDL_GetWindowID(window->sdl()) : 0;
}

double desktopScale()
{
    const WindowObject* main = windowRegistry().mainWindow;
    return main ? main->screen.windowUnitScale() : displayScale();
}

int unscaledByDesktop(int pixels)
{
    const double scale = desktopScale();
    return scale == 1.0 ? pixels : static_cast<int>(std::lround(pixels / scale));
}

POINT clientOrigin(const WindowObject& window)
{
    POINT p { 0, 0 };
    // The desktop's client area is its usable part, which starts past a panel at the top or left.
    SDL_Rect usable {};
    if (window.isDesktop && startVideo() && SDL_GetDisplayUsableBounds(0, &usable) == 0) {
        p.x = unscaledByDesktop(usable.x);
        p.y = unscaledByDesktop(usable.y);
    }
    if (window.screen.exclusive() || window.isDesktop || !window.sdl())
        return p;
    int x = 0, y = 0;
    SDL_GetWindowPosition(window.sdl(), &x, &y);
    const double scale = window.screen.windowUnitScale();
    p.x = static_cast<LONG>(std::lround(x / scale));
    p.y = static_cast<LONG>(std::lround(y / scale));
    return p;
}

}
