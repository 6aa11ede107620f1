#include "support/input_injection.h"

#include "platform/window/window_object.h"

namespace platform {

namespace {

bool push(SDL_Event& event) { return startVideo() && SDL_PushEvent(&event) == 1; }

bool pushWindowEvent(HWND window, Uint8 what)
{
    uint32_t id = sdlWindowId(window);
    if (!id)
        return false;
    SDL_Event event {};
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = id;
    event.window.event = what;
    return push(event);
}

}

bool injectKey(HWND window, const char* keyName, KeyAction action, unsigned modifiers)
{
    uint32_t id = sdlWindowId(window);
    if (!id || !keyName || !startVideo())
        return false;
    SDL_Keycode key = SDL_GetKeyFromName(keyName);
    if (key == SDLK_UNKNOWN)
        return false;
    SDL_Event event {};
    event.type = action == KeyAction::Press ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.windowID = id;
    event.key.state = action == KeyAction::Press ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = key;
    event.key.keysym.scancode = SDL_GetScancodeFromKey(key);
    Uint16 mod = 0;
    if (modifiers & AltHeld)
        mod |= KMOD_LALT;
    if (modifiers & ControlHeld)
        mod |= KMOD_LCTRL;
    if (modifiers & ShiftHeld)
        mod |= KMOD_LSHIFT;
    event.key.keysym.mod = mod;
    return push(event);
}

bool injectMouseMove(HWND window, int x, int y)
{
    uint32_t id = sdlWindowId(window);
    if (!id)
        return false;
    SDL_Event event {};
    event.type = SDL_MOUSEMOTION;
    event.motion.windowID = id;
    event.motion.x = x;
    event.motion.y = y;
    return push(event);
}

bool injectMouseButton(HWND window, MouseButton button, KeyAction action, int x, int y)
{
    uint32_t id = sdlWindowId(window);
    if (!id)
        return false;
    SDL_Event event {};
    event.type = action == KeyAction::Press ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    event.button.windowID = id;
    event.button.button = button == MouseButton::Left ? SDL_BUTTON_LEFT
        : button == MouseButton::Right                ? SDL_BUTTON_RIGHT
                                                      : SDL_BUTTON_MIDDLE;
    event.button.state = action == KeyAction::Press ? SDL_PRESSED : SDL_RELEASED;
    event.button.clicks = 1;
    event.button.x = x;
    event.button.y = y;
    return push(event);
}

bool injectFocus(HWND window, bool gained)
{
    return pushWindowEvent(window, gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST);
}

bool injectCloseRequest(HWND window) { return pushWindowEvent(window, SDL_WINDOWEVENT_CLOSE); }

bool injectExpose(HWND window) { return pushWindowEvent(window, SDL_WINDOWEVENT_EXPOSED); }

bool injectDrop(HWND window, std::initializer_list<const char*> files)
{
    uint32_t id = sdlWindowId(window);
    if (!id || !startVideo())
        return false;
    SDL_Event event {};
    event.drop.windowID = id;
    event.type = SDL_DROPBEGIN;
    bool pushed = SDL_PushEvent(&event) == 1;
    for (const char* file : files) {
        event.type = SDL_DROPFILE;
        // The receiver frees the name, as it does SDL's own.
        event.drop.file = SDL_strdup(file);
        if (SDL_PushEvent(&event) != 1) {
            SDL_free(event.drop.file);
            pushed = false;
        }
    }
    event.type = SDL_DROPCOMPLETE;
    event.drop.file = nullptr;
    return SDL_PushEvent(&event) == 1 && pushed;
}

bool injectQuit()
{
    SDL_Event event {};
    event.type = SDL_QUIT;
    return push(event);
}

bool injectRenderTargetsReset()
{
    SDL_Event event {};
    event.type = SDL_RENDER_TARGETS_RESET;
    return push(event);
}

}
