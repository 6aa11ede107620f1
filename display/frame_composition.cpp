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
#include "media/caption_speech.h"
#include "media/media_stream.h"
#include "media/movie_session.h"
#include "media/playback_speed.h"
#include "media/study_mode.h"
#include "media/transcript_panel.h"
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

}

void blendCaptionPictures(System& sys, platform::PixelView target, const FrameLayout& layout)
{
    if (!movieShown(sys))
        return;
    MediaStream& stream = *sys.movie.currentStream;
    const uint32_t time = captionTime(stream.currentTime(), sys.movie.currentItem.timeshift, sys.movie.captionRate,
        sys.movie.syncPieces);
    if (Caption* first = sys.movie.currentCaption.get(); first && first->pictures) {
        // In our style the text read is drawn instead, and a caption not read yet as its picture.
        const PictureCaptions shown = sys.settings.iscaption == 0 ? PictureCaptions::ForcedOnly
            : authoredCaptionsShown(sys)                         ? PictureCaptions::All
                                                                 : PictureCaptions::Unread;
        drawPictureCaption(target, layout, *first->pictures, time, shown);
    }
    if (sys.settings.iscaption != 0 && authoredCaptionsShown(sys) && sys.movie.currentCaption->authored) {
        sys.movie.currentCaption->authored->setEventTextFilter(
            shownDescriptions(sys) == SoundDescriptions::Hidden ? &eventWithoutSoundDescriptions : nullptr);
        drawAuthoredCaptions(target, layout, *sys.movie.currentCaption->authored, time);
    }
}

void renderFrame(System& sys)
{
    followTranscript(sys);
    // This frame shows the panel as it is now.
    sys.transcript.frameWanted = false;
    // Shown enlarged, the texts are drawn after the picture is scaled, at the shown pixels.
    if (renderPresentedFrame(sys)) {
        ++sys.playback.framesThisSecond;
        return;
    }
    onBackSurface(sys, [&](HDC dc) { fillBorders(dc, frameLayout(sys), frameContent(sys)); });
    drawVideo(sys);
    takeComposedScreenshots(sys);
    // A frame of nothing keeps the last one, which the panel would darken again and again.
    DisplaySurface* back = sys.displays.backSurface();
    if (back && back->surface && back->surface->pixels() && frameContent(sys) != FrameContent::Nothing) {
        const platform::PixelView pixels = *back->surface->pixels();
        onBackSurface(sys, [&](HDC dc) { drawTranscriptPanel(sys, dc, pixels, frameLayout(sys)); });
    }
    if (sys.settings.help != 0) {
        const OverlayText text = overlayText(sys);
        onBackSurface(sys, [&](HDC dc) {
            const FrameLayout layout = composedLayout(sys);
            if (sys.settings.captionstyle & styleShadow)
                drawInfoOverlay(dc, layout, text, 1);
            drawInfoOverlay(dc, layout, text, 0);
        });
    }
    drawNotice(sys);
    presentFrame(sys);
    ++sys.playback.framesThisSecond;
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

void drawVideo(System& sys)
{
    if (!sys.displays.display)
        return;
    DisplaySurface* back = sys.displays.backSurface();
    if (!back)
        return;

    if (!movieShown(sys)) {
        if (sys.settings.isending != 0)
            onBackSurface(sys, [&](HDC dc) { drawEndScreen(dc, composedLayout(sys), statusStates(sys)); });
        return;
    }

    MediaStream& stream = *sys.movie.currentStream;
    CompositionState& c = sys.composition;
    int rc = advanceMovie(sys);
    followStudyAndLoop(sys);
    const MovieState& m = sys.movie;
    speakCaptions(sys, captionTime(stream.currentTime(), m.currentItem.timeshift, m.captionRate, m.syncPieces));
    if (rc != 0)
        debugLog("xmmstream : Time=%d, RTS=%d Err=0x%X\n", static_cast<int>(stream.currentTime()), rc,
            static_cast<unsigned>(stream.lastResult));

    const VideoPlacement& p = sys.videoPlacement;
    const int copied = stream.blitFrame(back, p.srcX, p.srcY, p.srcWidth, p.srcHeight, p.dstX, p.dstY, p.dstWidth,
        p.dstHeight, sys.commands.pictureFlags);
    if (copied != 0 && copied != c.blitResult)
        debugLog("drawVideo : picture copy refused, Err=0x%X Src=%d,%d(%d,%d) Dst=%d,%d(%d,%d)\n",
            static_cast<unsigned>(copied), p.srcX, p.srcY, p.srcWidth, p.srcHeight, p.dstX, p.dstY, p.dstWidth,
            p.dstHeight);
    c.blitResult = copied;

    const FrameLayout layout = composedLayout(sys);
    HDC dc = back->getDC();
    // A refused copy leaves the last frame in place, and the status bar and caption would pile up on it
    // frame after frame: the frame starts from black instead.
    if (copied != 0)
        fillBorders(dc, layout, FrameContent::EndScreen);
    if (!c.textsPresented) {
        drawStatusBar(dc, layout, statusBar(sys, stream.currentTime()));
        drawCaptions(dc, layout, captionsShown(sys, stream.currentTime()));
    }
    back->releaseDC(dc);
    // Shown enlarged, the caption pictures come over the status bar at the shown pixels (presented_layer).
    if (!c.textsPresented && back->surface && back->surface->pixels())
        blendCaptionPictures(sys, *back->surface->pixels(), layout);
}

bool movieShown(const System& sys)
{
    return sys.movie.currentStream && sys.movie.movieDuration != 0;
}

std::string statusNoticeText(const System& sys)
{
    return statusStates(sys);
}

std::string statusLineText(const System& sys, uint32_t t)
{
    return statusLine(sys, t, statusStates(sys));
}

void presentFrame(System& sys)
{
    if (sys.displays.display && sys.displays.display->present() == 1)
        sys.playback.reinitRequest = 1;
}

}
