#include "caption/caption_writers.h"
#include "caption/text_edits.h"
#include "caption/webvtt_reader.h"

#include <algorithm>
#include <cstdio>

namespace sublumen {

namespace {

// No movie runs this long: an end past it is a converter's way of writing "until the end", which the
// reader shows until the next caption and the writer leaves as it is.
constexpr int64_t oneDay = 24 * 3600 * 1000;

bool endsOpen(int64_t start, int64_t end)
{
    return end > start && (end - start > oneDay || (start < oneDay && end > oneDay));
}

// A time as SubRip and WebVTT write it: hours, minutes, seconds and thousandths after separator. WebVTT
// may leave the hours out, and does where the time it replaces did and the new one allows.
std::string cueTimeText(int64_t ms, char separator, bool hours)
{
    char out[48];
    if (hours || ms >= 3600000)
        std::snprintf(out, sizeof out, "%02lld:%02lld:%02lld%c%03lld", static_cast<long long>(ms / 3600000),
            static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60), separator,
            static_cast<long long>(ms % 1000));
    else
        std::snprintf(out, sizeof out, "%02lld:%02lld%c%03lld", static_cast<long long>(ms / 60000),
            static_cast<long long>(ms / 1000 % 60), separator, static_cast<long long>(ms % 1000));
    return out;
}

// How the time written at [from, to) of line spells itself: its fraction's separator, whether it names
// hours.
char separatorOf(std::string_view time, char usual)
{
    const size_t mark = time.find_first_of(".,");
    return mark == std::string_view::npos ? usual : time[mark];
}

bool namesHours(std::string_view time) { return std::count(time.begin(), time.end(), ':') >= 2; }

enum class LineBreaks { LineFeed, Any };

// Calls visit(line, offset) for each line of text up to where the readers stop.
template <typename Visit> void eachLine(std::string_view text, LineBreaks breaks, Visit&& visit)
{
    const size_t end = readableEnd(text);
    for (size_t from = 0; from < end;) {
        size_t lineEnd = breaks == LineBreaks::Any ? text.find_first_of("\r\n", from) : text.find('\n', from);
        lineEnd = std::min(lineEnd, end);
        visit(text.substr(from, lineEnd - from), from);
        if (lineEnd >= end)
            break;
        from = lineEnd + (text.compare(lineEnd, 2, "\r\n") == 0 && breaks == LineBreaks::Any ? 2 : 1);
    }
}

// Moves both times of a timing line, unless it is none; the end stays when it means "until the end".
void moveTiming(std::string_view line, size_t offset, char usual, const CaptionTimeMove& newTime, TextEdits& edits)
{
    if (line.find("-->") == std::string_view::npos)
        return;
    std::optional<CueTiming> timing = readCueTiming(line);
    if (!timing || timing->start < 0 || timing->start >= 4294967295LL)
        return;
    auto move = [&](int64_t value, size_t from, size_t to) {
        const int64_t moved = newTime(value);
        if (moved == value)
            return;
        const std::string_view old = line.substr(from, to - from);
        edits.replace(
            offset + from, offset + to, cueTimeText(moved, separatorOf(old, usual), usual == ',' || namesHours(old)));
    };
    move(timing->start, timing->startFrom, timing->startTo);
    if (!endsOpen(timing->start, timing->end))
        move(timing->end, timing->endFrom, timing->endTo);
}

}

std::string retimeSubRip(std::string_view text, const CaptionTimeMove& newTime)
{
    TextEdits edits(text);
    eachLine(text, LineBreaks::LineFeed,
        [&](std::string_view line, size_t offset) { moveTiming(line, offset, ',', newTime, edits); });
    return edits.result();
}

std::string retimeWebVtt(std::string_view text, const CaptionTimeMove& newTime)
{
    TextEdits edits(text);
    eachLine(text, LineBreaks::Any, [&](std::string_view line, size_t offset) {
        if (readCueTiming(line)) {
            moveTiming(line, offset, '.', newTime, edits);
            return;
        }
        // Time stamps inside a cue's text: <00:01:02.500>.
        for (size_t open = line.find('<'); open != std::string_view::npos; open = line.find('<', open + 1)) {
            size_t at = open + 1;
            std::optional<int64_t> stamp = readCueTime(line, at);
            if (!stamp || at >= line.size() || line[at] != '>')
                continue;
            const int64_t moved = newTime(*stamp);
            if (moved != *stamp) {
                const std::string_view old = line.substr(open + 1, at - open - 1);
                edits.replace(
                    offset + open + 1, offset + at, cueTimeText(moved, separatorOf(old, '.'), namesHours(old)));
            }
        }
    });
    return edits.result();
}

std::string subRipOfCues(std::vector<TextCue> cues)
{
    std::stable_sort(cues.begin(), cues.end(), [](const TextCue& a, const TextCue& b) { return a.start < b.start; });
    std::string out;
    size_t number = 0;
    for (const TextCue& cue : cues) {
        if (cue.end <= cue.start || cue.text.find_first_not_of(" \t\r\n") == std::string::npos)
            continue;
        // An empty line ends a cue in SubRip, so none may stand inside one.
        std::string text;
        for (size_t from = 0; from <= cue.text.size();) {
            size_t end = std::min(cue.text.find('\n', from), cue.text.size());
            std::string_view line(cue.text.data() + from, end - from);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            if (line.find_first_not_of(" \t") != std::string_view::npos) {
                if (!text.empty())
                    text += '\n';
                text += line;
            }
            from = end + 1;
        }
        out += std::to_string(++number) + "\n" + cueTimeText(cue.start, ',', true) + " --> "
            + cueTimeText(cue.end, ',', true) + "\n" + text + "\n\n";
    }
    return out;
}

}
