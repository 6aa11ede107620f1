// The program's resources: the window icon (103, drawn in sublumen_icon.xpm) and the accelerator
// table (102).
#pragma once

#include "platform/window/window.h"

// Resource numbers.
constexpr int IDR_ACCELERATORS = 102;
constexpr int IDI_SUBLUMEN = 103;
// The command Alt+Enter sends.
constexpr WORD ID_TOGGLE_FULLSCREEN = 40001;

// Accelerator table 102: one entry, Alt+Enter.
inline constexpr ACCEL acceleratorTable102[] = {
    { FVIRTKEY | FALT | FNOINVERT, VK_RETURN, ID_TOGGLE_FULLSCREEN },
};
