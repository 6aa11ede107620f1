#include "caption/webvtt_reader.h"

#include "caption/text_cues.h"

#include <algorithm>

namespace sublumen {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

size_t skipBlanks(std::string_view s, size_t i)
{
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\f'))
        ++i;
    return i;
}

}

// Each field holds at most ten digits, so the sum stays far inside 64 bits.
std::optional<int64_t> readCueTime(std::string_view s, size_t& i)
{
    int64_t fields[3] = {};
    int count = 0;
    size_t at = i;
    for (;;) {
        size_t from = at;
        int64_t value = 0;
        while (at < s.size() && isDigit(s[at]) && at - from < 10)
            value = value * 10 + (s[at++] - '0');
        if (at == from || (at < s.size() && isDigit(s[at])))
            return std::nullopt;
        fields[count++] = value;
        if (count == 3 || at + 1 >= s.size() || s[at] != ':' || !isDigit(s[at + 1]))
            break;
        ++at;
    }
    if (count < 2)
        return std::nullopt;
    int64_t fraction = 0;
    if (at + 1 < s.size() && (s[at] == '.' || s[at] == ',') && isDigit(s[at + 1])) {
        int digits = 0;
        for (++at; at < s.size() && isDigit(s[at]); ++at) {
            if (digits < 3) {
                fraction = fraction * 10 + (s[at] - '0');
                ++digits;
            }
        }
        for (; digits < 3; ++digits)
            fraction *= 10;
    }
    int64_t hours = count == 3 ? fields[0] : 0;
    int64_t minutes = fields[count - 2];
    int64_t seconds = fields[count - 1];
    i = at;
    return ((hours * 60 + minutes) * 60 + seconds) * 1000 + fraction;
}

namespace {

// Blanks as they look: spaces, tabs, and the no-break, ideographic and zero-width spaces, the
// direction marks and the byte-order mark in UTF-8.
bool isBlankLine(std::string_view line)
{
    for (size_t i = 0; i < line.size();) {
        std::string_view rest = line.substr(i);
        if (rest[0] == ' ' || rest[0] == '\t' || rest[0] == '\f' || rest[0] == '\v')
            ++i;
        else if (rest.starts_with("\xC2\xA0"))
            i += 2;
        else if (rest.starts_with("\xE3\x80\x80") || rest.starts_with("\xE2\x80\x8B") || rest.starts_with("\xE2\x80\x8E")
            || rest.starts_with("\xE2\x80\x8F") || rest.starts_with("\xEF\xBB\xBF"))
            i += 3;
        else
            return false;
    }
    return true;
}

bool startsBlock(std::string_view line)
{
    for (std::string_view word : { "NOTE", "STYLE", "REGION" }) {
        if (line.starts_with(word) && (line.size() == word.size() || line[word.size()] == ' ' || line[word.size()] == '\t'))
            return true;
    }
    return false;
}

bool allDigits(std::string_view line)
{
    line = line.substr(0, line.find_last_not_of(" \t") + 1);
    return !line.empty() && line.find_first_not_of("0123456789") == std::string_view::npos;
}

// The lines of a text one by one; CR LF, LF and a lone CR end a line.
class LineReader {
public:
    explicit LineReader(std::string_view text)
        : text(text)
    {
    }
    bool next(std::string_view& line)
    {
        if (!peek(line))
            return false;
        from += line.size();
        from += text.compare(from, 2, "\r\n") == 0 ? 2 : 1;
        return true;
    }
    // The next line without moving on.
    bool peek(std::string_view& line) const
    {
        if (from >= text.size())
            return false;
        line = text.substr(from, std::min(text.find_first_of("\r\n", from), text.size()) - from);
        return true;
    }

private:
    std::string_view text;
    size_t from = 0;
};

}

std::optional<CueTiming> readCueTiming(std::string_view line)
{
    const size_t startFrom = skipBlanks(line, 0);
    size_t i = startFrom;
    std::optional<int64_t> start = readCueTime(line, i);
    if (!start)
        return std::nullopt;
    const size_t startTo = i;
    i = skipBlanks(line, i);
    if (line.compare(i, 3, "-->") != 0)
        return std::nullopt;
    size_t endFrom = skipBlanks(line, i + 3);
    size_t endTo = endFrom;
    std::optional<int64_t> end = readCueTime(line, endTo);
    if (!end)
        return std::nullopt;
    return CueTiming { *start, *end, endFrom, endTo, startFrom, startTo };
}

std::vector<TimedText> readWebVtt(std::string_view utf8)
{
    if (utf8.starts_with("\xEF\xBB\xBF"))
        utf8.remove_prefix(3);
    // Lines are read one by one and not kept, so a file of nothing but line breaks costs no more than
    // its cues.
    LineReader lines(utf8);
    std::vector<TimedText> cues;
    bool inCue = false;
    // A line of blanks seen inside the cue: what follows is more of its text only when it neither
    // names the next cue nor begins a block.
    bool blankSeen = false;
    std::string text;
    auto finish = [&] {
        if (inCue)
            cues.back().text = plainWebVttText(text);
        inCue = false;
        text.clear();
    };
    for (std::string_view line; lines.next(line);) {
        if (std::optional<CueTiming> timing = readCueTiming(line)) {
            finish();
            cues.push_back({ timing->start, timing->end, {} });
            inCue = true;
            blankSeen = false;
            continue;
        }
        if (line.empty()) {
            finish();
            continue;
        }
        if (isBlankLine(line)) {
            blankSeen = inCue;
            continue;
        }
        if (!inCue)
            continue;  // the header, an identifier, a STYLE, REGION or NOTE block
        std::string_view following;
        bool namesNextCue = lines.peek(following) && readCueTiming(following);
        if (blankSeen ? namesNextCue || startsBlock(line) : namesNextCue && !text.empty() && allDigits(line)) {
            // A cue identifier of a file without empty lines between its cues, or a block after a cue.
            finish();
            continue;
        }
        if (!text.empty())
            text += blankSeen ? "\n\n" : "\n";
        text += line;
        blankSeen = false;
    }
    finish();
    return cues;
}

}
