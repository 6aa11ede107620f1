#include "platform/screen/screen_events.h"

#include <SDL.h>

namespace platform {

namespace {

unsigned heldNow()
{
    const uint32_t buttons = SDL_GetMouseState(nullptr, nullptr);
    const SDL_Keymod mod = SDL_GetModState();
    unsigned held = 0;
    if (buttons & SDL_BUTTON_LMASK)
        held |= ScreenEvent::leftHeld;
    if (buttons & SDL_BUTTON_RMASK)
        held |= ScreenEvent::rightHeld;
    if (buttons & SDL_BUTTON_MMASK)
        held |= ScreenEvent::middleHeld;
    if (mod & KMOD_SHIFT)
        held |= ScreenEvent::shiftHeld;
    if (mod & KMOD_CTRL)
        held |= ScreenEvent::controlHeld;
    return held;
}

void placeMouse(ScreenEvent& out, int x, int y, const ScreenGeometryOf& geometryOf)
{
    ScreenGeometry geometry;
    out.point = geometryOf(out.window, geometry) ? clientFromMouse(geometry, x, y) : POINT { x, y };
}

// An event of this kind whose flag (focus gained, device lost) is as given.
bool take(ScreenEvent& out, ScreenEvent::Kind kind, bool flag = false)
{
    out.kind = kind;
    out.down = out.deviceLost = false;
    (kind == ScreenEvent::Kind::RenderReset ? out.deviceLost : out.down) = flag;
    return true;
}

bool translateWindowEvent(const SDL_WindowEvent& event, ScreenEvent& out)
{
    out.window = event.windowID;
    switch (event.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_FOCUS_LOST:
        return take(out, ScreenEvent::Kind::Focus, event.event == SDL_WINDOWEVENT_FOCUS_GAINED);
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    // On an output of another scale the window's pixels are as many more or fewer.
    case SDL_WINDOWEVENT_DISPLAY_CHANGED:
        return take(out, ScreenEvent::Kind::Expose);
    case SDL_WINDOWEVENT_CLOSE:
        return take(out, ScreenEvent::Kind::Close);
    default:
        return false;
    }
}

bool translate(SDL_Event& event, ScreenEvent& out, const ScreenGeometryOf& geometryOf)
{
    out = ScreenEvent {};
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        out.kind = ScreenEvent::Kind::Key;
        out.window = event.key.windowID;
        out.keycode = event.key.keysym.sym;
        out.scancode = event.key.keysym.scancode;
        out.alt = (event.key.keysym.mod & KMOD_ALT) != 0;
        out.down = event.type == SDL_KEYDOWN;
        out.repeat = event.key.repeat != 0;
        return true;
    case SDL_TEXTINPUT:
        out.kind = ScreenEvent::Kind::Text;
        out.window = event.text.windowID;
        out.text = event.text.text;
        return true;
    case SDL_TEXTEDITING:
        out.kind = ScreenEvent::Kind::Composition;
        out.window = event.edit.windowID;
        out.text = event.edit.text;
        return true;
    case SDL_MOUSEMOTION:
        out.kind = ScreenEvent::Kind::MouseMove;
        out.window = event.motion.windowID;
        out.held = heldNow();
        placeMouse(out, event.motion.x, event.motion.y, geometryOf);
        return true;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        out.kind = ScreenEvent::Kind::MouseButton;
        out.window = event.button.windowID;
        out.down = event.type == SDL_MOUSEBUTTONDOWN;
        out.clicks = event.button.clicks;
        unsigned flag = 0;
        switch (event.button.button) {
        case SDL_BUTTON_LEFT:
            out.button = ScreenEvent::Button::Left;
            flag = ScreenEvent::leftHeld;
            break;
        case SDL_BUTTON_RIGHT:
            out.button = ScreenEvent::Button::Right;
            flag = ScreenEvent::rightHeld;
            break;
        case SDL_BUTTON_MIDDLE:
            out.button = ScreenEvent::Button::Middle;
            flag = ScreenEvent::middleHeld;
            break;
        default:
            break;
        }
        // The button's own state as the event reports it, whatever SDL's state snapshot says.
        out.held = out.down ? (heldNow() | flag) : (heldNow() & ~flag);
        placeMouse(out, event.button.x, event.button.y, geometryOf);
        return true;
    }
    case SDL_WINDOWEVENT:
        return translateWindowEvent(event.window, out);
    case SDL_DROPBEGIN:
        out.kind = ScreenEvent::Kind::DropBegin;
        out.window = event.drop.windowID;
        return true;
    case SDL_DROPFILE:
    case SDL_DROPTEXT:
    case SDL_DROPCOMPLETE: {
        out.window = event.drop.windowID;
        out.kind = event.type == SDL_DROPCOMPLETE ? ScreenEvent::Kind::DropComplete : ScreenEvent::Kind::DropFile;
        const bool file = event.type == SDL_DROPFILE && event.drop.file;
        if (file)
            out.text = event.drop.file;
        // SDL hands the text over to whoever takes the event.
        SDL_free(event.drop.file);
        return event.type == SDL_DROPCOMPLETE || file;
    }
    case SDL_RENDER_TARGETS_RESET:
    case SDL_RENDER_DEVICE_RESET:
        return take(out, ScreenEvent::Kind::RenderReset, event.type == SDL_RENDER_DEVICE_RESET);
    case SDL_QUIT:
        return take(out, ScreenEvent::Kind::Quit);
    default:
        if (event.type < SDL_USEREVENT)
            return false;
        out.kind = ScreenEvent::Kind::Wake;
        out.wakeType = event.type;
        return true;
    }
}

}

bool pollScreenEvent(ScreenEvent& event, const ScreenGeometryOf& geometryOf)
{
    SDL_Event sdl;
    while (SDL_PollEvent(&sdl))
        if (translate(sdl, event, geometryOf))
            return true;
    return false;
}

}
