// A system ready to compose frames without a window: a scripted display whose desktop has the screen's
// size and depth, an off-screen back surface, the player's three fonts and a two-line caption. Frames
// are composed exactly as in the player; presenting them does nothing (there is no primary surface).
#pragma once

#include "app/system.h"
#include "caption/caption.h"
#include "display/display.h"
#include "media/media_stream.h"
#include "media/movie_session.h"
#include "platform/ddraw/display_driver.h"
#include "platform/gdi/gdi.h"

#include <cstdio>
#include <memory>

namespace tools {

class CompositionRig {
public:
    CompositionRig(int width, int height, int bpp)
    {
        auto driver = std::make_unique<platform::ScriptedDisplayDriver>();
        driver->desktopMode = { width, height, bpp == 16 ? platform::PixelFormat::RGB565 : platform::PixelFormat::XRGB8888 };
        platform::setDisplayDriver(std::move(driver));
        sys.settings.screenx = width;
        sys.settings.screeny = height;
        sys.settings.bpp = bpp;
        sys.displays.display = std::make_unique<sublumen::Display>();
        sublumen::Display* display = sys.displays.display.get();
        display->back.reset(display->createOffScreenSurface(width, height));

        sys.startup.overlayFont = font(12, FW_NORMAL, "굴림체");
        sys.startup.seekBarFont = font(11, FW_NORMAL, "FixedSys");
        sys.startup.captionFont = font(sys.settings.fontsize, FW_EXTRABOLD, sublumen::fontFaceTable[0]);

        caption = sublumen::openMovieCaption(sys, nullptr);
        caption->addEntry(0, "오늘 밤 우리는 모두 함께 이 영화를 끝까지 보기로 했어요\n자막은 두 줄로, 그림자와 외곽선까지 모두");
        caption->addEntry(sublumen::endMarker, "");
    }

    ~CompositionRig()
    {
        sublumen::closeMovieStream(sys);
        sublumen::closeMovieCaption(sys);
        if (sys.displays.display) {
            sys.displays.display->back.reset();
            sys.displays.display->shutdown();
            sys.displays.display.reset();
        }
        for (HFONT f : { sys.startup.overlayFont, sys.startup.seekBarFont, sys.startup.captionFont })
            if (f)
                DeleteObject(f);
        platform::setDisplayDriver(nullptr);
    }

    CompositionRig(const CompositionRig&) = delete;
    CompositionRig& operator=(const CompositionRig&) = delete;

    // Whether the back surface and every font could be made.
    bool ready() const
    {
        return sys.displays.backSurface() && sys.startup.overlayFont && sys.startup.seekBarFont
            && sys.startup.captionFont;
    }

    platform::PixelView& screen() { return *sys.displays.backSurface()->surface->pixels(); }

    sublumen::System sys;
    // The two-line caption track; the system owns it as the current caption.
    sublumen::Caption* caption = nullptr;

private:
    static HFONT font(int height, int weight, const char* face)
    {
        return platform::createFont(height, weight, face);
    }
};

}
