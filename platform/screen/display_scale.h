// The desktop's scale for windows on X11: a window mode keeps the size it has at scale 1 on a screen
// whose desktop draws everything larger, and its pictures are shown at that many device pixels.
#pragma once

#include <string>

namespace platform {

// The scale the desktop asks for: GDK_SCALE when set, else the X resource Xft.dpi over 96; 1 on other
// display servers (a Wayland compositor scales a window itself) and when neither says anything usable.
// Read once; values outside 1 to 4 are brought into it, and unreadable ones ignored, both logged.
double displayScale();
// The scale one of those texts gives: value read as a number and divided by unit, clamped to 1 to 4;
// 0 when the text is no positive number. what names the source in the log lines.
double scaleFromText(const std::string& value, double unit, const char* what);

}
