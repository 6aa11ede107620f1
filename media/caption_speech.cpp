#include "media/caption_speech.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "display/notice.h"
#include "media/caption_descriptions.h"
#include "media/media_stream.h"
#include "platform/speech_service.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace sublumen {

void SpeechServiceDeleter::operator()(platform::SpeechService* service) const
{
    delete service;
}

namespace {

bool isBlank(const std::string& text)
{
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// A language tag ("ko-KR", "kor", "EN") as the two-letter code voices are chosen by; "" for none known.
std::string twoLetterCode(std::string tag)
{
    tag = tag.substr(0, tag.find_first_of("-_"));
    std::transform(tag.begin(), tag.end(), tag.begin(), [](unsigned char c) { return std::tolower(c); });
    if (tag.size() == 2 && std::isalpha(static_cast<unsigned char>(tag[0])) && std::isalpha(static_cast<unsigned char>(tag[1])))
        return tag;
    static const struct {
        const char* three;
        const char* two;
    } codes[] = { { "kor", "ko" }, { "eng", "en" }, { "jpn", "ja" }, { "chi", "zh" }, { "zho", "zh" }, { "fre", "fr" },
        { "fra", "fr" }, { "ger", "de" }, { "deu", "de" }, { "spa", "es" }, { "ita", "it" }, { "rus", "ru" },
        { "por", "pt" }, { "korean", "ko" }, { "english", "en" } };
    for (const auto& code : codes)
        if (tag == code.three)
            return code.two;
    return "";
}

// Hangul syllables (U+AC00 to U+D7A3) and compatibility letters (U+3131 to U+318E) in UTF-8.
bool hasHangul(const std::string& text)
{
    for (size_t i = 0; i + 2 < text.size(); ++i) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        if ((b0 & 0xF0) != 0xE0)
            continue;
        const unsigned c = ((b0 & 0x0F) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3F) << 6)
            | (static_cast<unsigned char>(text[i + 2]) & 0x3F);
        if ((c >= 0xAC00 && c <= 0xD7A3) || (c >= 0x3131 && c <= 0x318E))
            return true;
    }
    return false;
}

// The language part of a caption file named stem.LANGUAGE.suffix.
std::string fileNameLanguage(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    const char* suffix = std::strrchr(name, '.');
    if (!suffix || suffix == name)
        return "";
    const char* part = suffix;
    while (part > name && part[-1] != '.')
        --part;
    if (part == name)
        return "";
    return twoLetterCode(std::string(part, suffix));
}

std::string declaredLanguage(const System& sys)
{
    const Caption* caption = sys.movie.currentCaption.get();
    if (!caption)
        return "";
    if (!caption->classes.empty())
        return caption->shownClass == showAllClasses
            ? ""
            : twoLetterCode(caption->classes[static_cast<size_t>(caption->shownClass)].lang);
    if (caption->isCueTrack()) {
        const MediaStream* stream = sys.movie.currentStream.get();
        if (!stream)
            return "";
        std::vector<int32_t> decoded;
        const std::vector<CaptionStreamTrack> tracks = stream->captionStreams(&decoded);
        const int32_t index = caption->cueStream >= 0 ? caption->cueStream : decoded.empty() ? -1 : decoded.front();
        for (const CaptionStreamTrack& track : tracks)
            if (track.index == index)
                return twoLetterCode(track.language);
        return "";
    }
    return fileNameLanguage(sys.movie.currentItem.caption);
}

// The start of a caption for the log: a few words, cut between characters.
std::string logged(const std::string& text)
{
    std::string shown = text.substr(0, 60);
    while (!shown.empty() && (static_cast<unsigned char>(shown.back()) & 0xC0) == 0x80)
        shown.pop_back();
    if (!shown.empty() && static_cast<unsigned char>(shown.back()) >= 0xC0)
        shown.pop_back();
    for (char& c : shown)
        if (c == '\n' || c == '\r')
            c = ' ';
    return shown;
}

}

std::string captionLanguage(const System& sys, const std::string& text)
{
    std::string language = declaredLanguage(sys);
    if (!language.empty())
        return language;
    return hasHangul(text) ? "ko" : "en";
}

void speakCaptions(System& sys, uint32_t captionTime)
{
    CaptionSpeechState& speech = sys.speech;
    if (sys.settings.speakcaptions == 0)
        return;
    Caption* track = sys.movie.currentCaption.get();
    const std::string* shown = track ? track->shownTextAt(captionTime, shownDescriptions(sys)) : nullptr;
    const std::string& now = shown ? *shown : std::string();
    if (speech.looked && track == speech.track && now == speech.shown)
        return;
    speech.looked = true;
    speech.track = track;
    speech.shown = now;
    if (isBlank(now))
        return;
    if (!speech.service)
        speech.service.reset(new platform::SpeechService());
    const std::string language = captionLanguage(sys, now);
    debugLog("Speak=%u %s \"%s\"\n", captionTime, language.c_str(), logged(now).c_str());
    speech.service->say(now, language);
}

void switchCaptionSpeech(System& sys)
{
    CaptionSpeechState& speech = sys.speech;
    sys.settings.speakcaptions = sys.settings.speakcaptions == 0 ? 1 : 0;
    speech.looked = false;
    if (sys.settings.speakcaptions == 0 && speech.service)
        speech.service->cancel();
    debugLog("Speak : captions %s.\n", sys.settings.speakcaptions ? "spoken" : "not spoken");
    showNotice(sys, sys.settings.speakcaptions ? "자막 읽기 켬" : "자막 읽기 끔", 3);
}

void noteSpeechService(System& sys)
{
    CaptionSpeechState& speech = sys.speech;
    // Reached as soon as captions are to be spoken, so that the first is not held up by the service's start.
    if (sys.settings.speakcaptions != 0 && !speech.service) {
        speech.service.reset(new platform::SpeechService());
        speech.service->prepare();
    }
    if (speech.unavailableTold || !speech.service
        || speech.service->state() != platform::SpeechService::State::Unavailable)
        return;
    speech.unavailableTold = true;
    debugLog("Speak : no speech service; captions are not spoken.\n");
    showNotice(sys, "음성 서비스 없음: 자막을 읽을 수 없음", 5);
}

}
