// Display devices and modes: lists the devices, creates the Display and sets the mode the settings ask
// for, with the fallbacks when it cannot be had.
#pragma once

namespace sublumen {

struct System;

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
