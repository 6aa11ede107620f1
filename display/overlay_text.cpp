#include "display/overlay_text.h"

#include "app/settings_store.h"
#include "app/system.h"
#include "caption/caption.h"
#include "media/audio_choice.h"
#include "media/caption_choice.h"
#include "media/caption_descriptions.h"
#include "media/caption_look.h"
#include "media/media_stream.h"
#include "media/playback_speed.h"
#include "platform/codepage.h"
#include "platform/gdi/text_decoding.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace sublumen {

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

OverlayText overlayText(System& sys, std::optional<uint32_t> streamTime)
{
    const Settings& s = sys.settings;
    const MovieItem& item = sys.movie.currentItem;
    const VideoPlacement& p = sys.videoPlacement;

    OverlayText text;
    text.colour = static_cast<COLORREF>(s.helpcolor);
    char line[lineBufferSize];
    auto put = [&](const char* shown) { text.lines.emplace_back(shown); };

    formatLine(line, "%s", bannerText);
    put(line);
    formatLine(line, "제목:%s", shownTitle(item).c_str());
    put(line);
    formatLine(line, "영상:%s", shownText(item.movie).c_str());
    put(line);
    // The caption rate of the sync snaps or the automatic sync, and the number of pieces of its map, only
    // when there are such.
    char rate[64] = "";
    if (sys.movie.captionRate != 1.0)
        std::snprintf(rate, sizeof rate, " 속도:%.5f", sys.movie.captionRate);
    if (!sys.movie.syncPieces.empty())
        std::snprintf(rate + std::strlen(rate), sizeof rate - std::strlen(rate), " 구간:%zu", sys.movie.syncPieces.size() + 1);
    // For captions with their own styling, the look shown (V).
    std::string look = captionLookName(sys);
    if (!look.empty())
        look = " 스타일:" + look;
    if (shownDescriptions(sys) == SoundDescriptions::Hidden)
        look += " 설명 자막 숨김";
    formatLine(line, "자막:%s,%d%s%s%s%s", shownText(item.caption).c_str(), item.timeshift, rate,
        captionFileState(sys.movie.currentCaption.get()).c_str(), look.c_str(), secondCaptionLine(sys).c_str());
    put(line);

    if (!sys.movie.currentStream)
        formatLine(line, "동영상 끝.");
    else if (sys.movie.currentStream->ended)
        formatLine(line, "%dFPS, P=%d 시간:끝.", static_cast<int>(sys.playback.framesPerSecond),
            sys.composition.stallCount);
    else
        formatLine(line, "%dFPS, P=%d 시간:현재/전체=%lu/%lu msec", static_cast<int>(sys.playback.framesPerSecond),
            sys.composition.stallCount,
            static_cast<unsigned long>(streamTime ? *streamTime : sys.movie.currentStream->currentTime()),
            static_cast<unsigned long>(sys.movie.movieDuration));
    // The audio stream heard follows when there is a choice of streams; with one, the line stays as it was.
    char audio[64];
    if (sys.movie.currentStream && sys.movie.currentStream->audioTracks(nullptr).size() > 1
        && audioLine(sys, audio, sizeof audio)) {
        std::string status = line;
        formatLine(line, "%s %s", status.c_str(), audio);
    }
    // The playback speed follows while it is not the normal one.
    const std::string speed = playbackSpeedText(sys);
    if (sys.movie.currentStream && !speed.empty()) {
        std::string status = line;
        formatLine(line, "%s %s", status.c_str(), speed.c_str());
    }
    put(line);

    formatLine(line, "화면 모드:%dx%dx%d", s.screenx, s.screeny, s.bpp);
    put(line);
    const char* fitName = s.fitmode >= 0 && s.fitmode <= 3 ? fitModeNames[s.fitmode] : "???";
    formatLine(line, "영상배치#%s: %d,%d(%d,%d)->%d,%d(%d,%d)", fitName, p.srcX, p.srcY, p.srcWidth, p.srcHeight,
        p.dstX, p.dstY, p.dstWidth, p.dstHeight);
    put(line);

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
    put(line);
    return text;
}

}
