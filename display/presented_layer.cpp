#include "display/presented_layer.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "display/frame_composition.h"
#include "display/frame_drawing.h"
#include "display/info_overlay.h"
#include "display/screenshot.h"
#include "display/transcript_text.h"
#include "platform/ddraw/display_driver.h"
#include "platform/gdi/gdi.h"

namespace sublumen {

namespace {

// The system's font remade at scale, kept until the font or the scale changes; the font itself when it
// cannot be remade.
HFONT scaledFont(CompositionState::ScaledFont& kept, HFONT font, double scale)
{
    const uint64_t source = platform::fontSerial(font);
    if (source == 0 || scale == 1.0)
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

// The frame's layout on the enlarged screen shown: every size scaled, the fonts remade at the scale and
// the surface's exact size.
FrameLayout presentedLayout(System& sys, platform::PixelView shown, double scale)
{
    FrameLayout layout = scaledLayout(frameLayout(sys), scale);
    layout.width = shown.width;
    layout.height = shown.height;
    makeLayoutFonts(sys, layout);
    return layout;
}

}

void makeLayoutFonts(System& sys, FrameLayout& layout)
{
    CompositionState& c = sys.composition;
    layout.fonts.caption = scaledFont(c.scaledFonts[0], sys.startup.captionFont, layout.scale);
    layout.fonts.status = scaledFont(c.scaledFonts[1], sys.startup.seekBarFont, layout.scale * layout.textScale);
    layout.fonts.overlay = scaledFont(c.scaledFonts[2], sys.startup.overlayFont, layout.scale * layout.textScale);
}

FrameLayout composedLayout(System& sys)
{
    FrameLayout layout = frameLayout(sys);
    makeLayoutFonts(sys, layout);
    return layout;
}

void drawPresentedTexts(System& sys, const Frame& frame, platform::PixelView shown, double scale)
{
    HDC dc = platform::createSurfaceDC(shown);
    if (!dc)
        return;
    const FrameLayout layout = presentedLayout(sys, shown, scale);
    if (frame.content == FrameContent::Movie) {
        drawStatusBar(dc, layout, frame.status);
        drawCaptions(dc, layout, frame.captions);
        // In the same order as on the composed screen: the caption pictures over the status bar.
        blendCaptionPictures(frame, shown, layout);
    }
    // F12 keeps what the screen shows, at its resolution, without the overlay and the notice.
    takeComposedScreenshotsOf(sys, &shown);
    drawTranscriptPanel(sys, dc, shown, layout, frame.captionTime);
    if (frame.overlay) {
        if (frame.overlayShadow)
            drawInfoOverlay(dc, layout, *frame.overlay, 1);
        drawInfoOverlay(dc, layout, *frame.overlay, 0);
    }
    if (frame.content != FrameContent::Nothing) {
        if (!frame.notice.text.empty())
            drawStatusNotice(dc, layout, frame.notice);
        sys.notice.drawn = frame.notice.text;
    }
    platform::destroySurfaceDC(dc);
}

double presentedScale(const System& sys)
{
    HWND window = sys.window.mainWindow;
    if (!window || !sys.displays.display || !sys.displays.backSurface())
        return 1.0;
    const double scale = platform::displayDriver().presentedScale(window);
    return scale > 1.0 ? scale : 1.0;
}

void presentEnlarged(System& sys, const Frame& frame)
{
    HWND window = sys.window.mainWindow;
    platform::DisplayDriver& driver = platform::displayDriver();
    bool painted = false;
    driver.setPresentedPainter(window, [&sys, &frame, &painted](platform::PixelView shown, double f) {
        drawPresentedTexts(sys, frame, shown, f);
        painted = true;
    });
    presentBackSurface(sys);
    driver.setPresentedPainter(window, nullptr);
    // A frame that could not be shown enlarged still answers F12, from the composed picture.
    if (!painted)
        takeComposedScreenshots(sys);
}

}
