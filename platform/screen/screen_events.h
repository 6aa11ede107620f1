// What happens to the screens, as plain events: SDL's events with their positions already in client
// coordinates, and nothing of SDL left in them.
#pragma once

#include "platform/screen/screen_geometry.h"

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

struct ScreenEvent {
    enum class Kind { Key, Text, Composition, MouseMove, MouseButton, Focus, Expose, Close, DropBegin, DropFile, DropComplete,
        RenderReset, Quit, Wake };
    enum class Button { Other, Left, Right, Middle };
    // Held while a mouse event happened.
    static constexpr unsigned leftHeld = 1, rightHeld = 2, middleHeld = 4, shiftHeld = 8, controlHeld = 16;

    Kind kind = Kind::Wake;
    // The window's SDL id; 0 when the event has none.
    uint32_t window = 0;
    // Key: SDL's key code and scan code, whether Alt was held, pressed or released, a repeat.
    int32_t keycode = 0;
    int scancode = 0;
    bool alt = false;
    // Key and mouse button: pressed, else released; focus: gained, else lost.
    bool down = false;
    bool repeat = false;
    // Text typed or being composed (UTF-8), or the dropped file's name.
    std::string text;
    // Mouse: where, in the window's client coordinates, which button and how many clicks in a row, and
    // what was held (the button's own state as the event reports it).
    POINT point {};
    Button button = Button::Other;
    int clicks = 0;
    unsigned held = 0;
    // Render reset: the whole render device was lost, not just its targets.
    bool deviceLost = false;
    // Wake: the event type that was registered for it.
    uint32_t wakeType = 0;
};

// The geometry of the screen with this SDL window id; false when no such screen is shown.
using ScreenGeometryOf = std::function<bool(uint32_t window, ScreenGeometry& geometry)>;

// Takes the next event SDL has waiting that is one of the above; false when none is left.
bool pollScreenEvent(ScreenEvent& event, const ScreenGeometryOf& geometryOf);

}
