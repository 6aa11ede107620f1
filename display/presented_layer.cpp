#include "display/presented_layer.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "display/frame_composition.h"
#include "display/info_overlay.h"
#include "display/screenshot.h"
#include "media/media_stream.h"
#include "platform/ddraw/display_driver.h"
#include "platform/gdi/gdi.h"

#include <cmath>
#include <utility>

namespace sublumen {

namespace {

int32_t scaledBy(int32_t n, double scale) { return static_cast<int32_t>(std::lround(n * scale)); }

// The system's font remade at scale, kept until the font or the scale changes; the font itself when
// it cannot be remade.
HFONT scaledFont(CompositionState::ScaledFont& kept, HFONT font, double scale)
{
    const uint64_t source = platform::fontSerial(font);
    if (source == 0)
        return font;
    if (kept.source != source || kept.scale != scale) {
        if (kept.font)
            DeleteObject(kept.font);
        kept.source = source;
        kept.scale = scale;
        kept.font = platform::createScaledFont(font, scale);
        if (!kept.font)
            debugLog("Presentation: no font at %.2f times its size\n", scale);
    }
    return kept.font ? kept.font : font;
}

// While alive, texts are drawn at scale: the fonts are their scaled twins and every pixel length of the
// status bar, the captions and the overlay is scaled.
class ScaledTexts {
public:
    ScaledTexts(System& sys, double scale)
        : sys_(sys)
        , fonts_ { sys.startup.captionFont, sys.startup.seekBarFont, sys.startup.overlayFont }
    {
        CompositionState& c = sys.composition;
        sys.startup.captionFont = scaledFont(c.scaledFonts[0], fonts_[0], scale);
        sys.startup.seekBarFont = scaledFont(c.scaledFonts[1], fonts_[1], scale);
        sys.startup.overlayFont = scaledFont(c.scaledFonts[2], fonts_[2], scale);
        c.textScale = scale;
    }
    ~ScaledTexts()
    {
        sys_.startup.captionFont = fonts_[0];
        sys_.startup.seekBarFont = fonts_[1];
        sys_.startup.overlayFont = fonts_[2];
        sys_.composition.textScale = 1.0;
    }
    ScaledTexts(const ScaledTexts&) = delete;
    ScaledTexts& operator=(const ScaledTexts&) = delete;

private:
    System& sys_;
    HFONT fonts_[3];
};

// While alive, the screen the status bar and the captions are laid out on is the enlarged one: its size,
// the caption band's height and the picture's place scaled with it. The overlay says what the settings
// are, so it is drawn outside this.
class EnlargedScreen {
public:
    EnlargedScreen(System& sys, int width, int height, double scale)
        : sys_(sys)
        , screenx_(sys.settings.screenx)
        , screeny_(sys.settings.screeny)
        , fontposy_(sys.settings.fontposy)
        , placement_(sys.videoPlacement)
    {
        Settings& s = sys.settings;
        s.screenx = width;
        s.screeny = height;
        s.fontposy = scaledBy(s.fontposy, scale);
        VideoPlacement& p = sys.videoPlacement;
        p.dstX = scaledBy(p.dstX, scale);
        p.dstY = scaledBy(p.dstY, scale);
        p.dstWidth = scaledBy(p.dstWidth, scale);
        p.dstHeight = scaledBy(p.dstHeight, scale);
    }
    ~EnlargedScreen()
    {
        sys_.settings.screenx = screenx_;
        sys_.settings.screeny = screeny_;
        sys_.settings.fontposy = fontposy_;
        sys_.videoPlacement = placement_;
    }
    EnlargedScreen(const EnlargedScreen&) = delete;
    EnlargedScreen& operator=(const EnlargedScreen&) = delete;

private:
    System& sys_;
    const int32_t screenx_;
    const int32_t screeny_;
    const int32_t fontposy_;
    const VideoPlacement placement_;
};

}

void drawPresentedTexts(System& sys, platform::PixelView shown, double scale)
{
    HDC dc = platform::createSurfaceDC(shown);
    if (!dc)
        return;
    {
        ScaledTexts texts(sys, scale);
        {
            EnlargedScreen screen(sys, shown.width, shown.height, scale);
            if (movieShown(sys))
                drawTexts(sys, dc, sys.movie.currentStream->currentTime());
            // F12 keeps what the screen shows, at its resolution, without the overlay and the notice.
            takeComposedScreenshotsOf(sys, &shown);
        }
        if (sys.settings.help != 0) {
            if (sys.settings.captionstyle & styleShadow)
                drawInfoOverlayOn(sys, dc, 1);
            drawInfoOverlayOn(sys, dc, 0);
        }
        EnlargedScreen screen(sys, shown.width, shown.height, scale);
        drawScreenshotNoticeOn(sys, dc);
    }
    platform::destroySurfaceDC(dc);
}

bool renderPresentedFrame(System& sys)
{
    HWND window = sys.window.mainWindow;
    if (!window || !sys.displays.display || !sys.displays.backSurface())
        return false;
    platform::DisplayDriver& driver = platform::displayDriver();
    const double scale = driver.presentedScale(window);
    if (!(scale > 1.0))
        return false;
    CompositionState& c = sys.composition;
    c.textsPresented = true;
    fillBorders(sys);
    drawVideo(sys);
    c.textsPresented = false;
    bool painted = false;
    driver.setPresentedPainter(window, [&sys, &painted](platform::PixelView shown, double f) {
        drawPresentedTexts(sys, shown, f);
        painted = true;
    });
    presentFrame(sys);
    driver.setPresentedPainter(window, nullptr);
    // A frame that could not be shown enlarged still answers F12, from the composed picture.
    if (!painted)
        takeComposedScreenshots(sys);
    return true;
}

}
