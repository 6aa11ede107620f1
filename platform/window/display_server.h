// The display server SDL's video runs on.
#pragma once

#include <cstdint>

namespace platform {

// SDL_InitSubSystem for the given parts with the video on the session's own display server: SDL's
// Wayland driver when WAYLAND_DISPLAY names a display (SDL itself would take X11 first, which in a
// Wayland session is XWayland), else SDL's own choice. A Wayland display that cannot show a window
// falls back to X11, logged. SDL_VIDEODRIVER, when set, is obeyed as it stands. 0, or SDL's error.
int startVideoOnDisplayServer(uint32_t subsystems);

// The screen saver, as SDL's calls of the same names, except on Wayland, where the main window's
// surface carries the compositor's idle inhibitor while the screen is to stay awake.
bool screenSaverEnabled();
void disableScreenSaver();
void enableScreenSaver();

}
