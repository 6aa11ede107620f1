#include "platform/window/window_screens.h"

#include "platform/window/window_registry.h"

namespace platform {

Screen* screenOf(HWND handle)
{
    WindowObject* window = liveWindow(handle);
    return window && window->sdl() ? &window->screen : nullptr;
}

Screen* mainScreen() { return screenOf(windowRegistry().mainWindow); }

bool enterExclusiveMode(HWND handle, int width, int height)
{
    WindowObject* window = liveWindow(handle);
    if (!window || !window->sdl() || width <= 0 || height <= 0)
        return false;
    if (!window->screen.exclusive()) {
        GetWindowRect(handle, &window->restoreRect);
        window->restoreVisible = window->visible;
    }
    if (!window->screen.enterExclusive(width, height)) {
        if (!window->restoreVisible)
            SDL_HideWindow(window->sdl());
        return false;
    }
    window->visible = true;
    window->needsPaint = true;
    settleKeyboard();
    return true;
}

void leaveExclusiveMode(HWND handle)
{
    WindowObject* window = liveWindow(handle);
    if (!window || !window->screen.exclusive())
        return;
    window->screen.leaveExclusive();
    SDL_SetWindowBordered(window->sdl(), (window->style & WS_CAPTION) == WS_CAPTION ? SDL_TRUE : SDL_FALSE);
    RECT r = window->restoreRect;
    MoveWindow(handle, r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
    if (!window->restoreVisible) {
        SDL_HideWindow(window->sdl());
        settleKeyboard();
        window->visible = false;
    }
}

bool inExclusiveMode(HWND handle)
{
    Screen* screen = screenOf(handle);
    return screen && screen->exclusive();
}

bool presentToWindow(HWND handle, ConstPixelView source, const RECT& sourceRect, const RECT& destination)
{
    Screen* screen = screenOf(handle);
    return screen && screen->present(source, sourceRect, destination);
}

bool readShownPicture(HWND handle, Surface& picture)
{
    Screen* screen = screenOf(handle);
    return screen && screen->readShown(picture);
}

bool windowFramebufferPixels(HWND handle, Surface& shown)
{
    Screen* screen = screenOf(handle);
    return screen && screen->path() == PresentPath::Framebuffer && screen->readShown(shown);
}

}
