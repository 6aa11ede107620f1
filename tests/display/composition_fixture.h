// A system brought up on a scripted display at 640x480x32 in a window, with the player's three fonts,
// for checks of composed frames pixel by pixel.
#pragma once

#include "app/system.h"
#include "display/display.h"
#include "display/display_modes.h"
#include "media/movie_session.h"
#include "platform/ddraw/display_driver.h"
#include "platform/gdi/gdi.h"
#include "support/drawing.h"
#include "support/log_capture.h"
#include "support/scripted_media_backend.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

class Composition : public ::testing::Test {
protected:
    void SetUp() override { bringUp(0); }
    void TearDown() override
    {
        sys.displays.display.reset();
        for (HFONT font : { sys.startup.overlayFont, sys.startup.seekBarFont, sys.startup.captionFont })
            if (font)
                DeleteObject(font);
        platform::setDisplayDriver(nullptr);
    }

    void bringUp(int fullscreen)
    {
        auto made = std::make_unique<platform::ScriptedDisplayDriver>();
        driver = made.get();
        platform::setDisplayDriver(std::move(made));
        sys.window.mainWindow = window.handle();
        sys.settings.fullscreen = fullscreen;
        sys.settings.screenx = 640;
        sys.settings.screeny = 480;
        sys.settings.bpp = 32;
        ASSERT_EQ(sublumen::ddEnum(sys), 0);
        ASSERT_NE(sys.displays.backSurface(), nullptr);
        sys.startup.overlayFont = font(12, FW_NORMAL, "굴림체");
        sys.startup.seekBarFont = font(11, FW_NORMAL, "FixedSys");
        sys.startup.captionFont = font(24, FW_EXTRABOLD, "굴림체");
        if (!sys.startup.overlayFont || !sys.startup.seekBarFont || !sys.startup.captionFont)
            GTEST_SKIP() << "no Korean fonts on this machine";
    }

    static HFONT font(int height, int weight, const char* face)
    {
        return platform::createFont(height, weight, face);
    }

    platform::PixelView& screen() { return *sys.displays.backSurface()->surface->pixels(); }

    void paint(int r, int g, int b) { fillSurface(screen(), r, g, b); }

    // What TextOutA draws for each (x, y, text) in colour over a copy of background in font.
    static platform::Surface reference(platform::ConstPixelView background, HFONT font, COLORREF colour,
        const std::vector<std::tuple<int, int, std::string>>& texts)
    {
        platform::Surface copy = background;
        HDC dc = platform::createSurfaceDC(copy);
        HFONT previous = SelectObject(dc, font);
        SetTextColor(dc, colour);
        SetBkMode(dc, TRANSPARENT);
        for (const auto& [x, y, text] : texts)
            TextOutA(dc, x, y, text.c_str(), static_cast<int>(text.size()));
        SelectObject(dc, previous);
        platform::destroySurfaceDC(dc);
        return copy;
    }

    // The first row at or after y0 where the two surfaces differ, -1 when they are the same.
    static int firstDifferentRow(platform::ConstPixelView a, platform::ConstPixelView b, int y0 = 0)
    {
        for (int y = y0; y < a.height; ++y)
            if (!std::equal(a.row(y), a.row(y) + a.pitch, b.row(y)))
                return y;
        return -1;
    }

    static bool isBlack(int r, int g, int b) { return r == 0 && g == 0 && b == 0; }
    static bool isWhite(int r, int g, int b) { return r == 255 && g == 255 && b == 255; }
    static bool isLightGrey(int r, int g, int b) { return r == 192 && g == 192 && b == 192; }

    ScratchDir dir;
    LogCapture log { dir };
    RecordingWindow window { 640, 480 };
    platform::ScriptedDisplayDriver* driver = nullptr;
    sublumen::System sys;
};

// The same, with a movie on the scripted media engine once a test sets up scope over script.
class MovieComposition : public Composition {
protected:
    void TearDown() override
    {
        sublumen::closeMovieStream(sys);
        sublumen::closeMovieCaption(sys);
        scope.reset();
        Composition::TearDown();
    }

    std::shared_ptr<MediaScript> script = std::make_shared<MediaScript>();
    std::unique_ptr<ScriptedBackendScope> scope;
};

}
