#include "caption/transcript.h"

#include "caption/caption.h"

#include <algorithm>

namespace sublumen {

namespace {

bool isBlank(std::string_view text)
{
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// One change of what is shown: at start, text (in the track's encoding) until the next change.
struct Shown {
    uint32_t start;
    std::string_view text;
};

// The lines of a run of changes in order of start; a change at the same start as the next one is never seen.
std::vector<TranscriptLine> linesOf(const std::vector<Shown>& changes, platform::TextEncoding encoding, uint32_t from,
    uint32_t to)
{
    std::vector<TranscriptLine> lines;
    for (size_t i = 0; i < changes.size(); ++i) {
        const Shown& s = changes[i];
        const uint32_t end = i + 1 < changes.size() ? changes[i + 1].start : endMarker;
        if (s.start == end || end <= from || s.start >= to || isBlank(s.text) || s.start == endMarker)
            continue;
        TranscriptLine line;
        line.start = s.start;
        line.end = end;
        line.text = captionTextUtf8(s.text, encoding);
        lines.push_back(std::move(line));
    }
    return lines;
}

// Every class shown at once: at each start of any of them, their texts stacked in the classes' order.
std::vector<TranscriptLine> stackedLines(const Caption& track, uint32_t from, uint32_t to)
{
    std::vector<uint32_t> starts;
    for (const CaptionClass& c : track.classes)
        for (const ClassEntry& e : c.entries)
            if (e.start < to)
                starts.push_back(e.start);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());

    // The changes before from matter only as far as the last of them, which may still be shown at from.
    auto firstShown = std::upper_bound(starts.begin(), starts.end(), from);
    if (firstShown != starts.begin())
        --firstShown;
    starts.erase(starts.begin(), firstShown);

    std::vector<std::string> stacked;
    stacked.reserve(starts.size());
    std::vector<Shown> changes;
    changes.reserve(starts.size());
    for (uint32_t start : starts) {
        std::string text;
        for (const CaptionClass& c : track.classes) {
            auto after = std::upper_bound(c.entries.begin(), c.entries.end(), start,
                [](uint32_t t, const ClassEntry& e) { return t < e.start; });
            if (after == c.entries.begin() || isBlank((after - 1)->text))
                continue;
            if (!text.empty())
                text += '\n';
            text += (after - 1)->text;
        }
        stacked.push_back(std::move(text));
    }
    for (size_t i = 0; i < starts.size(); ++i)
        changes.push_back({ starts[i], stacked[i] });
    return linesOf(changes, track.textEncoding, from, to);
}

}

std::string captionTextUtf8(std::string_view text, platform::TextEncoding encoding)
{
    // A text of no file is the user's bytes: UTF-8 when it is, else the code page's.
    if (encoding == platform::TextEncoding::Guess)
        return platform::isValidUtf8(text) ? std::string(text) : platform::encodeUtf8(platform::decodeForDisplay(text));
    return platform::textToUtf8(text, encoding);
}

std::vector<TranscriptLine> transcriptLines(const Caption& track, uint32_t from, uint32_t to)
{
    std::vector<Shown> changes;
    if (track.classes.empty()) {
        for (const ListNode* n = track.entries; n; n = n->next) {
            const auto* e = static_cast<const CaptionEntry*>(n->data);
            changes.push_back({ e->start, e->text });
        }
        return linesOf(changes, track.textEncoding, from, to);
    }
    if (track.shownClass == showAllClasses)
        return stackedLines(track, from, to);
    for (const ClassEntry& e : track.classes[static_cast<size_t>(track.shownClass)].entries)
        changes.push_back({ e.start, e.text });
    return linesOf(changes, track.textEncoding, from, to);
}

}
