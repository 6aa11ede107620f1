#include "display/frame_composition.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "caption/caption_sync.h"
#include "display/authored_caption_drawing.h"
#include "display/display.h"
#include "display/info_overlay.h"
#include "display/picture_caption_view.h"
#include "display/presented_layer.h"
#include "display/screenshot.h"
#include "media/caption_choice.h"
#include "media/caption_look.h"
#include "media/media_stream.h"
#include "media/movie_session.h"
#include "media/playback_speed.h"
#include "media/study_mode.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/text_decoding.h"
#include "platform/kernel.h"
#include "platform/sound_device.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace sublumen {

namespace {

// The status bar's rows at the bottom of the screen: the time text from H - 16, the marks from H - 8.
constexpr int32_t statusBarHeight = 16;
// Below the caption text its shadow and outlines reach this far.
constexpr int32_t captionEffectReach = 2;
// Between the second caption and the first.
constexpr int32_t captionGap = 4;

void fill(HDC dc, LONG left, LONG top, LONG right, LONG bottom, int stockBrush)
{
    RECT r { left, top, right, bottom };
    FillRect(dc, &r, GetStockObject(stockBrush));
}

// The list movie that could not be opened and was passed over, named for three seconds; empty after.
std::string unopenedNotice(const System& sys)
{
    const std::string& name = sys.movie.unopenedMovie;
    if (name.empty() || calendarSeconds() - sys.movie.unopenedSince > 3)
        return "";
    // A file name is the user's bytes: one that is not UTF-8 is read as the code page's.
    if (platform::isValidUtf8(name))
        return "열 수 없음: " + name;
    return "열 수 없음: " + platform::encodeUtf8(platform::decodeForDisplay(name));
}

// The remembered position the movie went on from, named for three seconds; empty after.
std::string resumedNotice(const System& sys)
{
    uint32_t t = sys.movie.resumedAt;
    if (t == 0 || calendarSeconds() - sys.movie.resumedSince > 3)
        return "";
    char text[48];
    std::snprintf(text, sizeof text, "이어 보기: %02u:%02u", t / 60000u, (t / 1000u) % 60u);
    return text;
}

// A sound device that went away, named until one is back, and one found again, named for three seconds.
std::string soundDeviceNotice()
{
    const platform::SoundDeviceNotice notice = platform::soundDeviceNotice();
    if (notice.change == platform::SoundDeviceChange::Lost)
        return "소리 장치 끊김";
    if (notice.change == platform::SoundDeviceChange::Back && calendarSeconds() - notice.since <= 3)
        return "소리 장치 다시 연결";
    return "";
}

// What the status bar says besides the time: an unopened movie, a resumed one, the sound device, study
// mode and the loop.
std::string statusNotice(const System& sys)
{
    std::string unopened = unopenedNotice(sys);
    std::string resumed = resumedNotice(sys);
    std::string notice = unopened.empty() || resumed.empty() ? unopened + resumed : unopened + "  " + resumed;
    const std::string sound = soundDeviceNotice();
    if (!sound.empty())
        notice += (notice.empty() ? "" : "  ") + sound;
    const std::string study = studyStatusText(sys);
    if (!study.empty())
        notice += (notice.empty() ? "" : "  ") + study;
    const std::string speed = playbackSpeedText(sys);
    if (!speed.empty())
        notice += (notice.empty() ? "" : "  ") + speed;
    return notice;
}

// A text on the status bar's line, in its font and colour.
void drawStatusText(System& sys, HDC dc, int x, const char* text)
{
    HFONT previous = SelectObject(dc, sys.startup.seekBarFont);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 255, 0));
    drawText(dc, x, sys.settings.screeny - textPixels(sys, statusBarHeight), text);
    SelectObject(dc, previous);
}

// The caption, and the second caption above it: over the first's text and the band's top, with room
// for both one's effects, or from the picture's top down to there when it does not fit above.
void drawCaptions(System& sys, HDC dc, uint32_t streamTime)
{
    const Settings& s = sys.settings;
    const double scale = sys.composition.textScale;
    const int32_t reach = textPixels(sys, captionEffectReach);
    const int32_t bandTop = s.screeny - s.fontposy;
    int32_t limit = bandTop;
    // A first caption drawn as authored (drawAuthoredCaptions) is not drawn in our style as well.
    Caption* first = authoredCaptionsShown(sys) ? nullptr : sys.movie.currentCaption.get();
    if (first) {
        uint32_t ct = captionTime(streamTime, sys.movie.currentItem.timeshift, sys.movie.captionRate);
        // A tall caption block (stacked lines, two classes) is kept above the status bar, not drawn over it.
        const int32_t lowest = s.seekbar != 0 ? s.screeny - textPixels(sys, statusBarHeight) - reach : INT32_MAX;
        RECT block;
        if (sys.movie.secondCaption
            && first->shownBlock(ct, dc, 0, bandTop, s.screenx, s.fontposy, s.captionstyle, lowest, block, scale))
            limit = std::min<int32_t>(limit, block.top - reach);
        first->draw(ct, dc, 0, bandTop, s.screenx, s.fontposy, s.captionstyle, lowest, scale);
    }
    Caption* second = sys.movie.secondCaption.get();
    if (!second)
        return;
    const uint32_t ct = secondCaptionTime(sys, streamTime);
    // The band ends this far above the first caption, its own effects included.
    const int32_t bottom = limit - reach - textPixels(sys, captionGap);
    const int32_t fixed = s.captionstyle & ~(styleAutoPlace | styleSemiAutoPlace);
    RECT block;
    if (!second->shownBlock(ct, dc, 0, 0, s.screenx, bottom, fixed | styleAutoPlace, INT32_MAX, block, scale)) {
        second->draw(ct, dc, 0, 0, s.screenx, bottom, fixed | styleAutoPlace, INT32_MAX, scale);
        return;
    }
    if (block.top - reach >= 0) {
        second->draw(ct, dc, 0, 0, s.screenx, bottom, fixed | styleAutoPlace, INT32_MAX, scale);
    } else {
        // No room above: from the top of the picture, cut off before the first caption.
        const int32_t top = std::clamp<int32_t>(sys.videoPlacement.dstY, 0, std::max(bottom, 0));
        second->draw(ct, dc, 0, top, s.screenx, bottom - top, fixed, INT32_MAX, scale);
    }
}

}

BOOL drawText(HDC dc, int x, int y, const char* text)
{
    return TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text)));
}

int32_t textPixels(const System& sys, int32_t pixels)
{
    const double scale = sys.composition.textScale;
    return scale == 1.0 ? pixels : static_cast<int32_t>(std::lround(pixels * scale));
}

void drawTexts(System& sys, HDC dc, uint32_t streamTime)
{
    if (sys.settings.seekbar != 0) {
        drawSeekBar(sys, dc, streamTime);
    } else {
        const std::string notice = statusNotice(sys);
        if (!notice.empty())
            drawStatusText(sys, dc, 0, notice.c_str());
    }
    if (sys.settings.iscaption != 0 && (sys.movie.currentCaption || sys.movie.secondCaption)) {
        HFONT font = sys.startup.captionFont;
        HFONT previous = font ? SelectObject(dc, font) : nullptr;
        drawCaptions(sys, dc, streamTime);
        if (font)
            SelectObject(dc, previous);
    }
}

void renderFrame(System& sys)
{
    // Shown enlarged, the texts are drawn after the picture is scaled, at the shown pixels.
    if (renderPresentedFrame(sys)) {
        ++sys.playback.framesThisSecond;
        return;
    }
    fillBorders(sys);
    drawVideo(sys);
    takeComposedScreenshots(sys);
    if (sys.settings.help != 0) {
        if (sys.settings.captionstyle & styleShadow)
            drawInfoOverlay(sys, 1);
        drawInfoOverlay(sys, 0);
    }
    drawScreenshotNotice(sys);
    presentFrame(sys);
    ++sys.playback.framesThisSecond;
}

void fillBorders(System& sys)
{
    DisplaySurface* back = sys.displays.backSurface();
    if (!back)
        return;
    HDC dc = back->getDC();
    const int32_t W = sys.settings.screenx;
    const int32_t H = sys.settings.screeny;
    const VideoPlacement& p = sys.videoPlacement;
    if (movieShown(sys)) {
        if (p.dstX != 0)
            fill(dc, 0, 0, p.dstX, H, BLACK_BRUSH);
        if (p.dstX + p.dstWidth < W)
            fill(dc, p.dstX + p.dstWidth, 0, W, H, BLACK_BRUSH);
        if (p.dstY != 0)
            fill(dc, 0, 0, W, p.dstY, BLACK_BRUSH);
        if (p.dstY + p.dstHeight < H)
            fill(dc, 0, p.dstY + p.dstHeight, W, H, BLACK_BRUSH);
    } else if (sys.settings.isending != 0) {
        fill(dc, 0, 0, W, H, BLACK_BRUSH);
    }
    back->releaseDC(dc);
}

void drawVideo(System& sys)
{
    if (!sys.displays.display)
        return;
    DisplaySurface* back = sys.displays.backSurface();
    if (!back)
        return;

    if (!movieShown(sys)) {
        if (sys.settings.isending == 0)
            return;
        HDC dc = back->getDC();
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkMode(dc, TRANSPARENT);
        RECT r { 0, 0, sys.settings.screenx, sys.settings.screeny };
        static const char endText[] = "< THE END >";
        DrawTextA(dc, endText, static_cast<int>(sizeof endText - 1), &r,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_WORDBREAK | DT_NOPREFIX);
        const std::string notice = statusNotice(sys);
        if (!notice.empty())
            drawStatusText(sys, dc, 0, notice.c_str());
        back->releaseDC(dc);
        return;
    }

    MediaStream& stream = *sys.movie.currentStream;
    CompositionState& c = sys.composition;
    int rc = advanceMovie(sys);
    followStudyAndLoop(sys);
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

    HDC dc = back->getDC();
    // A refused copy leaves the last frame in place, and the status bar and caption would pile up on it
    // frame after frame: the frame starts from black instead.
    if (copied != 0)
        fill(dc, 0, 0, sys.settings.screenx, sys.settings.screeny, BLACK_BRUSH);
    if (!c.textsPresented)
        drawTexts(sys, dc, stream.currentTime());
    back->releaseDC(dc);
    drawPictureCaption(sys);
    drawAuthoredCaptions(sys);
}

bool movieShown(const System& sys)
{
    return sys.movie.currentStream && sys.movie.movieDuration != 0;
}

std::string statusNoticeText(const System& sys)
{
    return statusNotice(sys);
}

std::string statusLineText(const System& sys, uint32_t t)
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
    const std::string notice = statusNotice(sys);
    return notice.empty() ? std::string(text) : std::string(text) + "  " + notice;
}

void drawSeekBar(System& sys, HDC dc)
{
    drawSeekBar(sys, dc, sys.movie.currentStream ? sys.movie.currentStream->currentTime() : 0);
}

void drawSeekBar(System& sys, HDC dc, uint32_t t)
{
    const int32_t W = sys.settings.screenx;
    const int32_t H = sys.settings.screeny;
    const uint32_t d = sys.movie.movieDuration;

    drawStatusText(sys, dc, 0, statusLineText(sys, t).c_str());

    // Every length is in pixels of the composed screen, textPixels times on an enlarged one.
    auto px = [&](int32_t n) { return textPixels(sys, n); };
    fill(dc, W - px(144), H - px(4), W - px(16), H - px(3), LTGRAY_BRUSH);
    LONG x = W - px(146) + px(sys.commands.volume) / 2;
    fill(dc, x, H - px(8), x + px(2), H, LTGRAY_BRUSH);

    double position = d ? std::trunc(static_cast<double>(t) * (static_cast<double>(W) / static_cast<double>(d))) : 0.0;
    // A time past the end (or an error value of the clock) keeps the mark just off the screen.
    if (position > W + px(2))
        position = W + px(2);
    LONG p = static_cast<LONG>(position);
    fill(dc, p - px(1), H - px(8), p + px(1), H, BLACK_BRUSH);
    fill(dc, p - px(2), H - px(8), p, H, WHITE_BRUSH);
}

void presentFrame(System& sys)
{
    if (sys.displays.display && sys.displays.display->present() == 1)
        sys.playback.reinitRequest = 1;
}

}
