// Display devices and modes: lists the devices, creates the Display and sets the mode the settings ask
// for, with the fallbacks when it cannot be had.
#pragma once

#include <cstdint>

namespace sublumen {

struct System;

// The screen sizes of keys 1 to 8.
struct Resolution {
    int32_t width;
    int32_t height;
};
inline constexpr Resolution digitResolutions[8] = {
    { 320, 240 }, { 640, 480 }, { 800, 600 }, { 1024, 768 },
    { 1280, 960 }, { 1600, 1200 }, { 1920, 1440 }, { 2048, 1536 },
};

// Lists the devices, creates sys.displays.display and sets the mode; 0, or -2 no device, -4 no
// Display, -5 mode failed, -6 full screen failed after the window mode failed. The main window must
// exist and no Display may.
int ddEnum(System& sys);
// Sets the mode for the current settings on the existing display: 0, -1 full screen and its fallback
// failed, -2 the fallback mode itself failed, -11 window mode failed, -21 no back surface.
int initDirectDrawMode(System& sys);
// Fills sys.displays.displayDevices (at most 4); the number stored, or -1 when enumeration fails.
int enumerateDisplayDevices(System& sys);

}
