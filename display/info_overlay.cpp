#include "display/info_overlay.h"

#include "app/settings_store.h"
#include "app/system.h"
#include "caption/caption.h"
#include "display/display.h"
#include "display/frame_composition.h"
#include "media/audio_choice.h"
#include "media/caption_choice.h"
#include "media/caption_look.h"
#include "media/media_stream.h"
#include "media/playback_speed.h"
#include "platform/codepage.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/text_decoding.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace sublumen {

const char* const helpLineTable[17] = {
    "ESC:종료 @Enter:전체/창, Space:일시정지",
    "(F1)도움말 (H)정보 글자색 (~)16/32bits 색상",
    "검색: LeftClick/Home/End/좌/우/PgUp/PgDn",
    "(S)그림자 (O)외곽선 (R)반전 (G)글꼴 (L)이미지향상",
    "(C)자막 (A)고정/자동/반자동, (상하)이동 (P)Flip",
    "자막시간조절:(J)-1, (K)+1, (U)-10, (I)+10",
    "(D/F)자막 글크기, (B)상태 표시, (+/-)볼륨 조절",
    "해상도:(1~8) 320x240~2048x1536 (9)바탕화면, (,/.)앞/뒤 동영상",
    "(M)LetterBox/LetterBox2/PanScan/Full",
    "(Q)Quick Skip (E)Ending (T)AlwaysTop",
    "(N)자막 언어: 하나씩/모두 (W)음성 (V)ASS 원본/자체 스타일",
    "Ctrl+좌/우:앞/뒤 자막으로, Ctrl+상:자막 다시",
    "(Ctrl+K/J)다음/방금 자막을 지금에 맞춤 (Ctrl+0)맞춤 취소",
    "(Ctrl+,/.)일시정지 중 앞/뒤 프레임 (Y)자막 고르기 (Shift+Y)둘째 자막",
    "(F12)화면 저장 (Shift+F12)영상만 저장 (Shift+J/K)둘째 자막 -1/+1",
    "(Z)자막마다 멈춤 (F2)구간 반복: A/B/해제",
    "([/])재생 속도 (Backspace)보통",
};

namespace {

constexpr size_t lineBufferSize = 256;

// Formats one information line; a line that would not fit is cut after its last complete character.
void formatLine(char (&line)[lineBufferSize], const char* format, ...) __attribute__((format(printf, 2, 3)));
void formatLine(char (&line)[lineBufferSize], const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed < 0) {
        line[0] = '\0';
        va_end(args);
        return;
    }
    std::string whole(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(whole.data(), whole.size(), format, args);
    va_end(args);
    fitLine(whole.data(), lineBufferSize);
    std::memcpy(line, whole.c_str(), std::strlen(whole.c_str()) + 1);
}

// A path as UTF-8, like the overlay's own words. A line is drawn as UTF-8 only when all of it is valid
// UTF-8, so a CP949 path left as it is would turn the label in front of it into CP949 garbage.
template<size_t N> std::string shownText(const char (&text)[N])
{
    std::string_view bytes(text, strnlen(text, N));
    if (platform::isValidUtf8(bytes))
        return std::string(bytes);
    return platform::encodeUtf8(platform::decodeForDisplay(bytes));
}

// The caption file's encoding and the class shown, after the caption line: " [CP949 KRCC]", or with
// all classes shown their names joined, " [UTF-8 KRCC+ENCC]"; nothing without a caption track.
std::string captionFileState(const Caption* caption)
{
    if (!caption || caption->textEncoding == platform::TextEncoding::Guess)
        return "";
    std::string state = std::string(" [") + platform::encodingName(caption->textEncoding);
    if (!caption->classes.empty()) {
        state += ' ';
        if (caption->shownClass == showAllClasses) {
            for (size_t i = 0; i < caption->classes.size(); ++i)
                state += (i ? "+" : "") + caption->classes[i].name;
        } else {
            state += caption->shownClassName();
        }
    }
    return state + "]";
}

}

void fitLine(char* text, size_t size)
{
    if (size == 0)
        return;
    size_t length = std::strlen(text);
    if (length < size)
        return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t cut = size - 1;
    if (platform::isValidUtf8(text, length)) {
        while (cut > 0 && (bytes[cut] & 0xC0) == 0x80)
            --cut;
    } else {
        // CP949: walk from the start so that a trail byte is never taken for a lead byte.
        size_t i = 0;
        while (i < cut) {
            size_t width = bytes[i] >= 0x81 && bytes[i] <= 0xFE && i + 1 < length ? 2 : 1;
            if (i + width > cut)
                break;
            i += width;
        }
        cut = i;
    }
    text[cut] = '\0';
}

void drawInfoOverlay(System& sys, int pass)
{
    DisplaySurface* back = sys.displays.backSurface();
    if (!back)
        return;
    HDC dc = back->getDC();
    drawInfoOverlayOn(sys, dc, pass);
    back->releaseDC(dc);
}

void drawInfoOverlayOn(System& sys, HDC dc, int pass)
{
    const Settings& s = sys.settings;
    const MovieItem& item = sys.movie.currentItem;
    const VideoPlacement& p = sys.videoPlacement;

    HFONT previous = SelectObject(dc, sys.startup.overlayFont);
    const COLORREF colour = pass ? (~static_cast<COLORREF>(s.helpcolor) & 0xFFFFFFu) : static_cast<COLORREF>(s.helpcolor);
    const int o = pass ? textPixels(sys, 1) : 0;
    SetTextColor(dc, colour);
    SetBkColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);

    char line[lineBufferSize];
    auto put = [&](int offset, const char* text) { drawText(dc, o, o + textPixels(sys, offset), text); };

    formatLine(line, "%s", bannerText);
    put(0, line);
    formatLine(line, "제목:%s", shownTitle(item).c_str());
    put(13, line);
    formatLine(line, "영상:%s", shownText(item.movie).c_str());
    put(26, line);
    // The caption rate of the sync snaps, only when there is one.
    char rate[32] = "";
    if (sys.movie.captionRate != 1.0)
        std::snprintf(rate, sizeof rate, " 속도:%.5f", sys.movie.captionRate);
    // For captions with their own styling, the look shown (V).
    std::string look = captionLookName(sys);
    if (!look.empty())
        look = " 스타일:" + look;
    formatLine(line, "자막:%s,%d%s%s%s%s", shownText(item.caption).c_str(), item.timeshift, rate,
        captionFileState(sys.movie.currentCaption.get()).c_str(), look.c_str(), secondCaptionLine(sys).c_str());
    put(39, line);

    if (!sys.movie.currentStream)
        formatLine(line, "동영상 끝.");
    else if (sys.movie.currentStream->ended)
        formatLine(line, "%dFPS, P=%d 시간:끝.", static_cast<int>(sys.playback.framesPerSecond),
            sys.composition.stallCount);
    else
        formatLine(line, "%dFPS, P=%d 시간:현재/전체=%lu/%lu msec", static_cast<int>(sys.playback.framesPerSecond),
            sys.composition.stallCount, static_cast<unsigned long>(sys.movie.currentStream->currentTime()),
            static_cast<unsigned long>(sys.movie.movieDuration));
    // The audio stream heard follows, for a movie whose sound is played.
    char audio[64];
    if (sys.movie.currentStream && audioLine(sys, audio, sizeof audio)) {
        std::string status = line;
        formatLine(line, "%s %s", status.c_str(), audio);
    }
    // The playback speed follows while it is not the normal one.
    const std::string speed = playbackSpeedText(sys);
    if (sys.movie.currentStream && !speed.empty()) {
        std::string status = line;
        formatLine(line, "%s %s", status.c_str(), speed.c_str());
    }
    put(52, line);

    formatLine(line, "화면 모드:%dx%dx%d", s.screenx, s.screeny, s.bpp);
    put(65, line);
    const char* fitName = s.fitmode >= 0 && s.fitmode <= 3 ? fitModeNames[s.fitmode] : "???";
    formatLine(line, "영상배치#%s: %d,%d(%d,%d)->%d,%d(%d,%d)", fitName, p.srcX, p.srcY, p.srcWidth, p.srcHeight,
        p.dstX, p.dstY, p.dstWidth, p.dstHeight);
    put(78, line);

    formatLine(line, "자막:%s 글자:%s(%d) 위치:%d 설정:", s.iscaption ? "켬" : "끔", fontFaceTable[s.fontface & 3],
        s.fontsize, s.fontposy);
    std::string settingsLine = line;
    const struct {
        bool on;
        char letter;
    } switches[] = {
        { (s.captionstyle & styleOutline) != 0, 'o' },
        { (s.captionstyle & styleThickOutline) != 0, 'O' },
        { (s.captionstyle & styleShadow) != 0, 'S' },
        { (s.captionstyle & styleReverse) != 0, 'R' },
        { (s.captionstyle & styleAutoPlace) != 0, 'A' },
        { (s.captionstyle & styleSemiAutoPlace) != 0, 'a' },
        { s.asksmi != 0, '?' },
        { s.isending != 0, 'E' },
        { s.quickskip != 0, 'Q' },
        { s.alwaystop != 0, 'T' },
        { (sys.commands.pictureFlags & EnhanceImage) != 0, '*' },
    };
    for (const auto& sw : switches)
        if (sw.on)
            settingsLine += sw.letter;
    formatLine(line, "%s", settingsLine.c_str());
    put(91, line);

    int offset = 110;
    for (const char* text : helpLineTable) {
        put(offset, text);
        offset += 13;
    }

    SelectObject(dc, previous);
}

}
