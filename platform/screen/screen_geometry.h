// Where things land on a window's screen: the physical client area SDL reports, the client area the
// window procedure sees, and in exclusive mode the screen the window stands for, shown scaled inside
// a viewport of the physical area. Plain arithmetic, no SDL.
#pragma once

#include "platform/win32.h"

namespace platform {

// A rectangle as origin and extent, the way SDL takes them.
struct Area {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const Area&) const = default;
};

struct ScreenGeometry {
    int physicalWidth = 0;
    int physicalHeight = 0;
    // In exclusive mode the client area is a screen of this size.
    bool exclusive = false;
    int screenWidth = 0;
    int screenHeight = 0;
    // Outside exclusive mode, the desktop's scale: the client area is the physical one divided by it.
    double scale = 1.0;
    // Physical pixels per unit of the mouse's coordinates (above 1 where a compositor scales the window).
    double density = 1.0;

    // The client area's size as the window procedure sees it.
    int clientWidth() const { return exclusive ? screenWidth : unscaled(physicalWidth); }
    int clientHeight() const { return exclusive ? screenHeight : unscaled(physicalHeight); }
    // Whether client and physical coordinates differ.
    bool mapped() const { return exclusive || scale > 1.0; }

private:
    int unscaled(int physical) const { return scale > 1.0 ? static_cast<int>(physical / scale + 0.5) : physical; }
};

// The part of the physical client area the client area is shown in: all of it (scaled by the desktop's
// scale when that is above 1), or in exclusive mode the largest rectangle of the screen's aspect that
// fits, centred.
Area viewportOf(const ScreenGeometry& geometry);
// A physical point (a mouse position) in client coordinates; in exclusive mode clamped to the screen.
POINT clientFromPhysical(const ScreenGeometry& geometry, int x, int y);
// A mouse position in SDL's window coordinates (density times fewer than the physical pixels) in client
// coordinates.
POINT clientFromMouse(const ScreenGeometry& geometry, int x, int y);
// A client rectangle in physical coordinates.
Area physicalFromClient(const ScreenGeometry& geometry, const RECT& client);
// Clips a source rectangle of a sourceWidth × sourceHeight picture and its destination together
// against the picture and the client area, cutting the source by the destination's proportion;
// false when nothing is left.
bool clipToClient(int sourceWidth, int sourceHeight, RECT& source, RECT& destination, int clientWidth,
    int clientHeight);

}
