#include "display/frame_composition.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "caption/caption_sync.h"
#include "display/authored_caption_drawing.h"
#include "display/display.h"
#include "display/notice.h"
#include "display/overlay_text.h"
#include "display/picture_caption_view.h"
#include "display/presented_layer.h"
#include "display/screenshot.h"
#include "display/transcript_text.h"
#include "media/caption_choice.h"
#include "media/caption_descriptions.h"
#include "media/caption_look.h"
#include "media/media_stream.h"
#include "media/playback_speed.h"
#include "media/study_mode.h"
#include "platform/ddraw/ddraw.h"
#include "platform/kernel.h"
#include "platform/sound_device.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace sublumen {

namespace {

// What the status bar says besides the time, while it holds: a sound device gone, study mode, the speed.
std::string statusStates(const System& sys)
{
    std::string states;
    auto add = [&states](const std::string& text) {
        if (!text.empty())
            states += (states.empty() ? "" : "  ") + text;
    };
    // Told until a device is back, which the notice then tells.
    if (platform::soundDeviceNotice().change == platform::SoundDeviceChange::Lost)
        add("소리 장치 끊김");
    add(studyStatusText(sys));
    add(playbackSpeedText(sys));
    add(captionJobText(sys));
    return states;
}

// The status bar's text for playback time t: the time, then notice.
std::string statusLine(const System& sys, uint32_t t, const std::string& notice)
{
    const uint32_t d = sys.movie.movieDuration;
    char text[64];
    // A picture reached by frame steps is told apart from its neighbours by its milliseconds.
    if (sys.composition.frameStepped)
        std::snprintf(text, sizeof text, "[%02u:%02u.%03u/%02u:%02u]", t / 60000u, (t / 1000u) % 60u, t % 1000u,
            d / 60000u, (d / 1000u) % 60u);
    else
        std::snprintf(text, sizeof text, "[%02u:%02u/%02u:%02u]", t / 60000u, (t / 1000u) % 60u, d / 60000u,
            (d / 1000u) % 60u);
    return notice.empty() ? std::string(text) : std::string(text) + "  " + notice;
}

// Runs draw with the back surface's device context, when there is one.
template<typename Draw> void onBackSurface(System& sys, Draw&& draw)
{
    DisplaySurface* back = sys.displays.backSurface();
    if (!back)
        return;
    HDC dc = back->getDC();
    draw(dc);
    back->releaseDC(dc);
}

// The first caption's pictures and its captions drawn as authored, with the caption time they are drawn at.
void readCaptionPictures(const System& sys, Frame& frame)
{
    Caption* first = sys.movie.currentCaption.get();
    const bool captionsOn = sys.settings.iscaption != 0;
    if (first && first->pictures) {
        frame.pictures = first->pictures.get();
        // In our style the text read is drawn instead, and a caption not read yet as its picture.
        frame.picturesShown = !captionsOn ? PictureCaptions::ForcedOnly
            : authoredCaptionsShown(sys)  ? PictureCaptions::All
                                          : PictureCaptions::Unread;
    }
    if (captionsOn && authoredCaptionsShown(sys) && first->authored)
        frame.authored = first->authored.get();
}

// The notice after what the status line says: the bar's line, or its notices alone while the bar is off.
StatusNotice noticeOf(const System& sys, const Frame& frame)
{
    StatusNotice notice;
    notice.text = noticeText(sys);
    if (notice.text.empty())
        return notice;
    // Before the volume scale while the bar is drawn.
    notice.barShown = sys.settings.seekbar != 0 && frame.content == FrameContent::Movie;
    notice.before = notice.barShown ? frame.status.line : frame.status.notice;
    return notice;
}

// The transcript panel over a frame that shows something: a frame of nothing keeps the last one, which the
// panel would darken again and again.
void drawTranscriptOnBack(System& sys, const Frame& frame)
{
    DisplaySurface* back = sys.displays.backSurface();
    if (!back || !back->surface || !back->surface->pixels() || frame.content == FrameContent::Nothing)
        return;
    const platform::PixelView pixels = *back->surface->pixels();
    onBackSurface(sys, [&](HDC dc) { drawTranscriptPanel(sys, dc, pixels, frameLayout(sys), frame.captionTime); });
}

void drawOverlayAndNotice(System& sys, const Frame& frame)
{
    onBackSurface(sys, [&](HDC dc) {
        if (frame.overlay) {
            if (frame.overlayShadow)
                drawInfoOverlay(dc, frame.layout, *frame.overlay, 1);
            drawInfoOverlay(dc, frame.layout, *frame.overlay, 0);
        }
        if (frame.content != FrameContent::Nothing && !frame.notice.text.empty())
            drawStatusNotice(dc, frame.layout, frame.notice);
    });
    sys.notice.drawn = frame.content != FrameContent::Nothing && sys.displays.backSurface() ? frame.notice.text : "";
}

}

void blendCaptionPictures(const Frame& frame, platform::PixelView target, const FrameLayout& layout)
{
    if (frame.content != FrameContent::Movie)
        return;
    if (frame.pictures)
        drawPictureCaption(target, layout, *frame.pictures, frame.captionTime, frame.picturesShown);
    if (frame.authored) {
        frame.authored->setEventTextFilter(
            frame.captions.descriptions == SoundDescriptions::Hidden ? &eventWithoutSoundDescriptions : nullptr);
        drawAuthoredCaptions(target, layout, *frame.authored, frame.captionTime);
    }
}

Frame frameOf(System& sys)
{
    const MovieState& m = sys.movie;
    Frame frame;
    frame.content = frameContent(sys);
    frame.layout = composedLayout(sys);
    if (MediaStream* stream = m.currentStream.get()) {
        frame.streamTime = stream->currentTime();
        frame.captionTime = captionTime(frame.streamTime, m.currentItem.timeshift, m.captionRate, m.syncPieces);
    }
    if (frame.content == FrameContent::Movie) {
        frame.status = statusBar(sys, frame.streamTime);
        frame.captions = captionsShown(sys, frame.streamTime);
        readCaptionPictures(sys, frame);
    } else {
        frame.status.notice = statusStates(sys);
    }
    if (sys.settings.help != 0) {
        frame.overlay = overlayText(sys, frame.streamTime);
        frame.overlayShadow = (sys.settings.captionstyle & styleShadow) != 0;
    }
    frame.notice = noticeOf(sys, frame);
    return frame;
}

void composeFrame(System& sys, const Frame& frame)
{
    CompositionState& c = sys.composition;
    // Shown enlarged, the texts are drawn after the picture is scaled, at the shown pixels.
    c.textsPresented = presentedScale(sys) > 1.0;
    onBackSurface(sys, [&](HDC dc) { fillBorders(dc, frame.layout, frame.content); });
    drawVideo(sys, frame);
    if (c.textsPresented)
        return;
    takeComposedScreenshots(sys);
    drawTranscriptOnBack(sys, frame);
    drawOverlayAndNotice(sys, frame);
}

void presentFrame(System& sys, const Frame& frame)
{
    if (sys.composition.textsPresented)
        presentEnlarged(sys, frame);
    else
        presentBackSurface(sys);
}

FrameLayout frameLayout(const System& sys)
{
    const Settings& s = sys.settings;
    FrameLayout layout;
    layout.width = s.screenx;
    layout.height = s.screeny;
    layout.fontposy = s.fontposy;
    layout.fontsize = s.fontsize;
    layout.captionstyle = s.captionstyle;
    layout.captionbox = s.captionbox;
    layout.seekbar = s.seekbar != 0;
    layout.video = sys.videoPlacement;
    layout.textScale = desktopTextScale(s.screenx, s.screeny);
    if (const MediaStream* stream = sys.movie.currentStream.get()) {
        layout.pictureWidth = stream->videoRect.right - stream->videoRect.left;
        layout.pictureHeight = stream->videoRect.bottom - stream->videoRect.top;
    }
    layout.fonts = { sys.startup.captionFont, sys.startup.seekBarFont, sys.startup.overlayFont };
    return layout;
}

FrameContent frameContent(const System& sys)
{
    if (movieShown(sys))
        return FrameContent::Movie;
    return sys.settings.isending != 0 ? FrameContent::EndScreen : FrameContent::Nothing;
}

StatusBar statusBar(const System& sys, uint32_t t)
{
    StatusBar bar;
    bar.notice = statusStates(sys);
    bar.line = statusLine(sys, t, bar.notice);
    bar.time = t;
    bar.duration = sys.movie.movieDuration;
    bar.volume = sys.commands.volume;
    return bar;
}

CaptionsShown captionsShown(const System& sys, uint32_t streamTime)
{
    CaptionsShown shown;
    if (sys.settings.iscaption == 0)
        return shown;
    shown.descriptions = shownDescriptions(sys);
    // A first caption drawn as authored (drawAuthoredCaptions) is not drawn in our style as well.
    if (!authoredCaptionsShown(sys) && sys.movie.currentCaption) {
        shown.first = sys.movie.currentCaption.get();
        shown.firstTime = captionTime(streamTime, sys.movie.currentItem.timeshift, sys.movie.captionRate, sys.movie.syncPieces);
    }
    if (sys.movie.secondCaption) {
        shown.second = sys.movie.secondCaption.get();
        shown.secondTime = secondCaptionTime(sys, streamTime);
    }
    return shown;
}

void drawVideo(System& sys, const Frame& frame)
{
    DisplaySurface* back = sys.displays.display ? sys.displays.backSurface() : nullptr;
    if (!back)
        return;
    if (frame.content == FrameContent::EndScreen)
        onBackSurface(sys, [&](HDC dc) { drawEndScreen(dc, frame.layout, frame.status.notice); });
    if (frame.content != FrameContent::Movie)
        return;

    CompositionState& c = sys.composition;
    const VideoPlacement& p = sys.videoPlacement;
    const int copied = sys.movie.currentStream->blitFrame(back, p.srcX, p.srcY, p.srcWidth, p.srcHeight, p.dstX,
        p.dstY, p.dstWidth, p.dstHeight, sys.commands.pictureFlags);
    if (copied != 0 && copied != c.blitResult)
        debugLog("drawVideo : picture copy refused, Err=0x%X Src=%d,%d(%d,%d) Dst=%d,%d(%d,%d)\n",
            static_cast<unsigned>(copied), p.srcX, p.srcY, p.srcWidth, p.srcHeight, p.dstX, p.dstY, p.dstWidth,
            p.dstHeight);
    c.blitResult = copied;

    HDC dc = back->getDC();
    // A refused copy leaves the last frame in place, and the status bar and caption would pile up on it
    // frame after frame: the frame starts from black instead.
    if (copied != 0)
        fillBorders(dc, frame.layout, FrameContent::EndScreen);
    if (!c.textsPresented) {
        drawStatusBar(dc, frame.layout, frame.status);
        drawCaptions(dc, frame.layout, frame.captions);
    }
    back->releaseDC(dc);
    // Shown enlarged, the caption pictures come over the status bar at the shown pixels (presented_layer).
    if (!c.textsPresented && back->surface && back->surface->pixels())
        blendCaptionPictures(frame, *back->surface->pixels(), frame.layout);
}

bool movieShown(const System& sys)
{
    return sys.movie.currentStream && sys.movie.movieDuration != 0;
}

std::string statusNoticeText(const System& sys)
{
    return statusStates(sys);
}

void presentBackSurface(System& sys)
{
    if (sys.displays.display && sys.displays.display->present() == 1)
        sys.playback.reinitRequest = 1;
}

}
