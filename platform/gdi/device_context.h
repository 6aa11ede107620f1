// The device context behind an HDC: the pixels it draws on and the drawing state GDI keeps per context.
#pragma once

#include "platform/gdi/gdi.h"
#include "platform/gdi/text_layout.h"

struct DeviceContext {
    explicit DeviceContext(platform::PixelView s)
        : surface(s)
    {
    }

    platform::PixelView surface;
    HFONT font = nullptr;  // null: the default font
    COLORREF textColour = RGB(0, 0, 0);
    COLORREF backgroundColour = RGB(255, 255, 255);
    int backgroundMode = OPAQUE;
    int stretchMode = 1;  // BLACKONWHITE, GDI's initial mode
    // Frame composition draws the same caption many times in a row (effects, then text); its wrapped
    // layout is kept between the calls.
    platform::TextLayoutCache layoutCache;

    // The font text is drawn in: the selected one, else the default; null when no font exists at all.
    FontObject* currentFont() const { return font ? font : platform::defaultFont(); }
};
