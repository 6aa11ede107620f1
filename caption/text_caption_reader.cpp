#include "app/debug_log.h"
#include "caption/caption.h"
#include "caption/text_cues.h"
#include "platform/kernel.h"
#include "platform/mmstream/subtitle_file.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <strings.h>

namespace sublumen {

namespace {

platform::SubtitleFormat formatOfName(const char* fileName)
{
    size_t length = std::strlen(fileName);
    const char* extension = fileName + length - 4;
    if (strcasecmp(extension, ".vtt") == 0)
        return platform::SubtitleFormat::WebVtt;
    if (strcasecmp(extension, ".ass") == 0 || strcasecmp(extension, ".ssa") == 0)
        return platform::SubtitleFormat::Ass;
    return platform::SubtitleFormat::SubRip;
}

// A SAMI file under a text caption name: its first tag is SAMI (any case), after blanks.
bool looksLikeSami(const std::string& bytes)
{
    size_t first = bytes.find_first_not_of(" \t\r\n");
    return first != std::string::npos && strncasecmp(bytes.c_str() + first, "<SAMI", 5) == 0;
}

// The last start a cue may have: the end marker itself belongs to the track's end.
constexpr int64_t lastTime = endMarker - 1;

}

bool isTextCaptionName(const char* fileName)
{
    size_t length = fileName ? std::strlen(fileName) : 0;
    if (length < 4)
        return false;
    for (const char* suffix : textCaptionSuffixes)
        if (strcasecmp(fileName + length - 4, suffix) == 0)
            return true;
    return false;
}

int Caption::loadTextCaptions(const char* fileName)
{
    debugLog("Caption::loadTextCaptions( \"%s\" )\n", fileName);
    if (_access(fileName, 0) != 0)
        return -1;
    TextModeFile file(fileName);
    if (!file.isOpen())
        return -2;
    std::string bytes;
    for (int c = file.getc(); c != EOF; c = file.getc())
        bytes += static_cast<char>(c);
    if (looksLikeSami(bytes)) {
        debugLog("Caption:: %s is a SAMI file; read as SAMI.\n", fileName);
        return loadSMI(fileName);
    }
    debugLog("Caption:: %s file.\n", platform::encodingName(file.encoding()));
    if (file.encoding() == platform::TextEncoding::Cp949)
        bytes = platform::textToUtf8(bytes, platform::TextEncoding::Cp949);
    textEncoding = platform::TextEncoding::Utf8;

    platform::SubtitleText read = platform::readSubtitleText(bytes, formatOfName(fileName));
    if (!read.opened) {
        debugLog("Caption:: %s cannot be read (%s).\n", fileName, read.failure.c_str());
        return -2;
    }
    if (read.undecodedPackets)
        debugLog("Caption:: %u captions could not be decoded; dropped.\n", static_cast<unsigned>(read.undecodedPackets));
    if (read.pictureRects)
        debugLog("Caption:: %u picture captions; not shown.\n", static_cast<unsigned>(read.pictureRects));

    std::vector<TextCue> cues;
    cues.reserve(read.rects.size());
    size_t late = 0;
    for (platform::SubtitleRect& rect : read.rects) {
        if (rect.start > lastTime) {
            ++late;
            continue;
        }
        std::string text = plainCueText(rect.text, rect.assLine);
        if (text.size() > maximumShownText)
            debugLog("Caption:: caption at %lld of %u bytes cut.\n", static_cast<long long>(rect.start),
                static_cast<unsigned>(text.size()));
        auto start = static_cast<uint32_t>(std::max<int64_t>(rect.start, 0));
        auto end = static_cast<uint32_t>(std::clamp<int64_t>(rect.end, 0, lastTime));
        cues.push_back({ start, end, std::move(text) });
    }
    read.rects.clear();
    if (late)
        debugLog("Caption:: %u captions start after the last time a track holds; dropped.\n", static_cast<unsigned>(late));
    if (size_t dropped = cuesWithoutDuration(cues))
        debugLog("Caption:: %u captions end before they start; dropped.\n", static_cast<unsigned>(dropped));

    for (const ClassEntry& entry : entriesOfCues(std::move(cues))) {
        if (appendEntry(entry.start, entry.text.c_str()) < 0)
            break;
    }
    appendEntry(endMarker, "");
    sortEntries();
    return 0;
}

}
