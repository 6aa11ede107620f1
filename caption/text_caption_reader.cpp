#include "app/debug_log.h"
#include "caption/caption.h"
#include "caption/caption_formats.h"
#include "caption/text_cues.h"
#include "caption/webvtt_reader.h"
#include "platform/kernel.h"
#include "platform/mmstream/subtitle_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <strings.h>

namespace sublumen {

namespace {

// The format the media library reads a text caption file as.
platform::SubtitleFormat libraryFormatOf(CaptionFormat format)
{
    switch (format) {
    case CaptionFormat::WebVtt:
        return platform::SubtitleFormat::WebVtt;
    case CaptionFormat::Ass:
        return platform::SubtitleFormat::Ass;
    default:
        break;
    }
    return platform::SubtitleFormat::SubRip;
}

// The media library reads a line in pieces of about 4 KB and breaks the text between them, even inside
// a character, and then refuses the whole caption as invalid UTF-8; no caption line is near this long.
constexpr size_t maximumLine = 4000;

// Cuts every line of UTF-8 text longer than maximumLine at the end of its last whole character that
// fits; the number of lines cut.
size_t cutLongLines(std::string& text)
{
    size_t cut = 0;
    std::string out;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = std::min(text.find('\n', from), text.size());
        size_t keep = end - from;
        if (keep > maximumLine) {
            keep = maximumLine;
            while (keep > 0 && (static_cast<unsigned char>(text[from + keep]) & 0xC0) == 0x80)
                --keep;
            ++cut;
        }
        if (cut) {
            if (out.empty())
                out.assign(text, 0, from);
            out.append(text, from, keep);
            if (end < text.size())
                out += '\n';
        }
        from = end + 1;
    }
    if (cut)
        text.swap(out);
    return cut;
}

// The last start a cue may have: the end marker itself belongs to the track's end.
constexpr int64_t lastTime = endMarker - 1;

// No movie runs this long: an end past it is a converter's way of writing "until the end".
constexpr int64_t oneDay = 24 * 3600 * 1000;

// Whether a cue's end says "until the end" rather than a time: it crosses the first day's end, or, for
// a track that goes on past a day, it lasts longer than one.
bool endsOpen(int64_t start, int64_t end)
{
    return end > start && (end - start > oneDay || (start < oneDay && end > oneDay));
}

// SubRip timing lines rewritten into the one shape the media library reads right: a time without a
// fraction or with fewer than three fraction digits is read there wrongly or not at all, and a cue
// longer than about 596 hours comes back ending before it starts. An open end (endsOpen) is written
// a day and an hour after the start, which reads as open again.
std::string canonicalSubRipTimes(std::string_view text)
{
    auto timeText = [](int64_t ms) {
        char out[48];
        std::snprintf(out, sizeof out, "%02lld:%02lld:%02lld,%03lld", static_cast<long long>(ms / 3600000),
            static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
        return std::string(out);
    };
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    size_t from = 0;
    while (from < text.size()) {
        size_t end = std::min(text.find('\n', from), text.size());
        std::string_view line = text.substr(from, end - from);
        std::optional<CueTiming> timing = line.find("-->") != std::string_view::npos ? readCueTiming(line) : std::nullopt;
        if (timing && timing->start <= lastTime) {
            int64_t cueEnd = endsOpen(timing->start, timing->end) ? timing->start + oneDay + 3600000 : timing->end;
            out += timeText(timing->start) + " --> " + timeText(cueEnd);
            out += line.substr(timing->endTo);
        } else {
            out += line;
        }
        if (end < text.size())
            out += '\n';
        from = end + 1;
    }
    return out;
}

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
    const CaptionFormatRow* kind = &textCaptionFormat(fileName, bytes);
    if (kind->format == CaptionFormat::Sami) {
        debugLog("Caption:: %s is a SAMI file; read as SAMI.\n", fileName);
        return loadSMI(fileName);
    }
    const CaptionFormatRow* named = captionFormatOfName(fileName);
    if (kind != named)
        debugLog("Caption:: %s is a %s file; read as %s.\n", fileName, kind->name, kind->name);
    debugLog("Caption:: %s file.\n", platform::encodingName(file.encoding()));
    if (file.encoding() == platform::TextEncoding::Cp949)
        bytes = platform::textToUtf8(bytes, platform::TextEncoding::Cp949);
    textEncoding = platform::TextEncoding::Utf8;
    if (size_t cut = cutLongLines(bytes))
        debugLog("Caption:: %u lines longer than %u bytes cut.\n", static_cast<unsigned>(cut), static_cast<unsigned>(maximumLine));

    std::vector<TextCue> cues;
    std::vector<size_t> openEnded;
    size_t late = 0;
    auto keep = [&](int64_t start, int64_t end, std::string text) {
        if (start > lastTime) {
            ++late;
            return;
        }
        if (text.size() > maximumShownText)
            debugLog("Caption:: caption at %lld of %u bytes cut.\n", static_cast<long long>(start),
                static_cast<unsigned>(text.size()));
        if (endsOpen(start, end))
            openEnded.push_back(cues.size());
        cues.push_back({ static_cast<uint32_t>(std::max<int64_t>(start, 0)),
            static_cast<uint32_t>(std::clamp<int64_t>(end, 0, lastTime)), std::move(text) });
    };
    platform::SubtitleText read;
    if (kind->format == CaptionFormat::WebVtt) {
        read.opened = true;
        for (TimedText& cue : readWebVtt(bytes))
            keep(cue.start, cue.end, std::move(cue.text));
    } else {
        if (kind->format != CaptionFormat::Ass)
            bytes = canonicalSubRipTimes(bytes);
        const platform::SubtitleFormat library = libraryFormatOf(kind->format);
        read = platform::readSubtitleText(bytes, library, [&](const platform::SubtitleRect& rect) {
            std::string text = plainCueText(rect.text, rect.assLine);
            keep(rect.start, rect.end,
                kind->format == CaptionFormat::Ass ? std::move(text) : decodeCharacterReferences(text));
        });
    }
    if (kind->authored && read.opened)
        authored = platform::AuthoredCaptions::fromScript(bytes);
    std::string().swap(bytes);
    if (!read.opened) {
        debugLog("Caption:: %s cannot be read (%s).\n", fileName, read.failure.c_str());
        return -2;
    }
    if (read.undecodedPackets)
        debugLog("Caption:: %u captions could not be decoded; dropped.\n", static_cast<unsigned>(read.undecodedPackets));
    if (read.pictureRects)
        debugLog("Caption:: %u picture captions; not shown.\n", static_cast<unsigned>(read.pictureRects));
    if (late)
        debugLog("Caption:: %u captions start after the last time a track holds; dropped.\n", static_cast<unsigned>(late));
    if (cues.empty())
        debugLog("Caption:: no captions read.\n");
    if (!openEnded.empty()) {
        // Each runs until the next caption shown starts, the last until the movie ends.
        std::vector<uint32_t> starts;
        starts.reserve(cues.size());
        for (const TextCue& cue : cues) {
            if (cue.end > cue.start)
                starts.push_back(cue.start);
        }
        std::sort(starts.begin(), starts.end());
        for (size_t index : openEnded) {
            auto next = std::upper_bound(starts.begin(), starts.end(), cues[index].start);
            cues[index].end = next == starts.end() ? endMarker : *next;
        }
        debugLog("Caption:: %u captions end more than 24 hours in; shown until the next caption.\n",
            static_cast<unsigned>(openEnded.size()));
    }
    if (size_t dropped = cuesWithoutDuration(cues))
        debugLog("Caption:: %u captions end before they start; dropped.\n", static_cast<unsigned>(dropped));

    for (const ClassEntry& entry : entriesOfCues(std::move(cues))) {
        // The end marker ends what runs until the end.
        if (entry.start == endMarker)
            break;
        if (appendEntry(entry.start, entry.text.c_str()) < 0)
            break;
    }
    appendEntry(endMarker, "");
    sortEntries();
    return 0;
}

}
