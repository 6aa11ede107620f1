#include "caption/sound_descriptions.h"

#include <array>
#include <cstdint>
#include <vector>

namespace sublumen {

namespace {

// The code point at text[at] and its length in bytes; a byte that starts no valid sequence stands for
// itself, so broken UTF-8 passes through unchanged.
char32_t codePointAt(std::string_view text, size_t at, size_t& length)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    length = 1;
    if (lead < 0x80)
        return lead;
    const size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (need == 0 || at + need > text.size())
        return lead;
    char32_t c = lead & (0x7F >> need);
    for (size_t i = 1; i < need; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return lead;
        c = (c << 6) | (byte(at + i) & 0x3F);
    }
    length = need;
    return c;
}

struct BracketPair {
    char32_t open;
    char32_t close;
};

// Round, square, full-width and the lenticular brackets Korean captions use.
constexpr std::array<BracketPair, 5> bracketPairs { { { U'(', U')' }, { U'[', U']' }, { U'（', U'）' },
    { U'［', U'］' }, { U'【', U'】' } } };

bool isMusicNote(char32_t c) { return c >= U'♩' && c <= U'♬'; }
bool isBlank(char32_t c) { return c == U' ' || c == U'\t' || c == U'\u3000'; }
bool isHangul(char32_t c) { return c >= 0xAC00 && c <= 0xD7A3; }

// Whether a line says anything once descriptions are gone: letters or digits of any script.
bool isWordCharacter(char32_t c)
{
    if (c < 0x80)
        return (c >= U'0' && c <= U'9') || ((c | 0x20) >= U'a' && (c | 0x20) <= U'z');
    const bool punctuation = (c >= 0x2000 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F)
        || (c >= 0xFF00 && c <= 0xFF0F) || (c >= 0xFF1A && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF40)
        || (c >= 0xFF5B && c <= 0xFF65) || c < 0xC0;
    return !punctuation;
}

struct Line {
    std::string text;
    bool touched = false;  // something was taken out of it
};

// Bytes of text inside closed brackets, the brackets included. Pairs nest; a closing bracket of another
// kind than the innermost open one closes the nearest open one of its own kind, and one that closes
// nothing stays, as does an opening bracket that is never closed.
std::vector<bool> bracketedBytes(std::string_view text)
{
    std::vector<bool> removed(text.size(), false);
    struct Open {
        size_t kind;
        size_t at;
    };
    std::vector<Open> open;
    for (size_t at = 0, length = 0; at < text.size(); at += length) {
        const char32_t c = codePointAt(text, at, length);
        for (size_t kind = 0; kind < bracketPairs.size(); ++kind) {
            if (c == bracketPairs[kind].open) {
                open.push_back({ kind, at });
            } else if (c == bracketPairs[kind].close) {
                for (size_t i = open.size(); i-- > 0;) {
                    if (open[i].kind != kind)
                        continue;
                    for (size_t b = open[i].at; b < at + length; ++b)
                        removed[b] = true;
                    open.resize(i);
                    break;
                }
            }
        }
    }
    return removed;
}

// The lines of text without its bracketed bytes; a description spanning lines joins what stands
// around it into one line.
std::vector<Line> linesWithoutBrackets(std::string_view text, const std::vector<bool>& removed)
{
    std::vector<Line> lines(1);
    for (size_t at = 0; at < text.size(); ++at) {
        if (removed[at]) {
            lines.back().touched = true;
            continue;
        }
        const char c = text[at];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n' && !removed[at + 1])
                ++at;
            lines.emplace_back();
            continue;
        }
        lines.back().text += c;
    }
    return lines;
}

// Lyrics: between the first and the last note of a line; with one note, the rest of the line after it,
// or the line up to it when the note ends the line.
void removeLyrics(Line& line)
{
    std::string_view text = line.text;
    size_t first = std::string::npos, lastEnd = 0, count = 0;
    bool blanksAfterLast = true;
    for (size_t at = 0, length = 0; at < text.size(); at += length) {
        const char32_t c = codePointAt(text, at, length);
        if (isMusicNote(c)) {
            if (first == std::string::npos)
                first = at;
            lastEnd = at + length;
            ++count;
            blanksAfterLast = true;
        } else if (!isBlank(c)) {
            blanksAfterLast = false;
        }
    }
    if (count == 0)
        return;
    if (count >= 2)
        line.text.erase(first, lastEnd - first);
    else if (blanksAfterLast)
        line.text.erase(0, lastEnd);
    else
        line.text.erase(first);
    line.touched = true;
}

// A speaker's name and its colon at the start of the line, after a dialogue dash: "JOHN:", "- 민수:",
// "남자 2:". The dash stays.
void removeSpeakerLabel(Line& line)
{
    std::string_view text = line.text;
    size_t at = 0, length = 0;
    auto skipBlanks = [&] {
        while (at < text.size() && isBlank(codePointAt(text, at, length)))
            at += length;
    };
    skipBlanks();
    if (at < text.size()) {
        const char32_t c = codePointAt(text, at, length);
        if (c == U'-' || c == U'–' || c == U'—') {
            at += length;
            skipBlanks();
        }
    }
    const size_t labelStart = at;
    int words = 0;
    bool letter = false;
    bool inWord = false;
    while (at < text.size()) {
        const char32_t c = codePointAt(text, at, length);
        if (isHangul(c) || (c >= U'A' && c <= U'Z')) {
            letter = true;
        } else if ((c >= U'0' && c <= U'9') || c == U'.' || c == U'\'' || c == U'#') {
        } else if (c == U' ' && inWord) {
            inWord = false;
            at += length;
            continue;
        } else {
            break;
        }
        if (!inWord && ++words > 3)
            return;
        inWord = true;
        at += length;
    }
    if (!letter || at == labelStart)
        return;
    skipBlanks();
    if (at >= text.size())
        return;
    const char32_t colon = codePointAt(text, at, length);
    if (colon != U':' && colon != U'：')
        return;
    const size_t afterColon = at + length;
    if (afterColon < text.size() && !isBlank(codePointAt(text, afterColon, length)))
        return;  // "10:30", "http://"
    line.text.erase(labelStart, afterColon - labelStart);
    line.touched = true;
}

// A line something was taken out of: blanks made single, none at either end or before punctuation.
std::string tidied(std::string_view text)
{
    std::string out;
    bool blank = false;
    for (size_t at = 0, length = 0; at < text.size(); at += length) {
        const char32_t c = codePointAt(text, at, length);
        if (isBlank(c)) {
            blank = true;
            continue;
        }
        const bool closing = c == U'.' || c == U',' || c == U'!' || c == U'?' || c == U'…';
        if (blank && !out.empty() && !closing)
            out += ' ';
        blank = false;
        out.append(text.substr(at, length));
    }
    return out;
}

bool saysSomething(std::string_view text)
{
    for (size_t at = 0, length = 0; at < text.size(); at += length)
        if (isWordCharacter(codePointAt(text, at, length)))
            return true;
    return false;
}

bool startsWithDash(std::string_view text) { return text.size() >= 2 && text[0] == '-' && text[1] == ' '; }

}

std::string withoutSoundDescriptions(std::string_view text)
{
    std::vector<Line> lines = linesWithoutBrackets(text, bracketedBytes(text));
    bool changed = false;
    for (Line& line : lines) {
        removeLyrics(line);
        removeSpeakerLabel(line);
        changed = changed || line.touched;
    }
    if (!changed)
        return std::string(text);

    std::vector<std::string> kept;
    bool dropped = false;
    for (const Line& line : lines) {
        if (!line.touched) {
            kept.push_back(line.text);
            continue;
        }
        std::string tidy = tidied(line.text);
        if (saysSomething(tidy))
            kept.push_back(std::move(tidy));
        else
            dropped = true;
    }
    bool anything = false;
    for (const std::string& line : kept)
        anything = anything || saysSomething(line);
    if (!anything)
        return "";
    // A dialogue dash is for two speakers; one left alone speaks without it.
    if (dropped && kept.size() == 1 && startsWithDash(kept.front()))
        kept.front().erase(0, 2);
    std::string out;
    for (const std::string& line : kept) {
        if (!out.empty())
            out += '\n';
        out += line;
    }
    return out;
}

std::string eventWithoutSoundDescriptions(std::string_view text)
{
    // The override blocks that open the event, kept as they are.
    size_t opening = 0;
    while (opening < text.size() && text[opening] == '{') {
        const size_t close = text.find('}', opening);
        if (close == std::string_view::npos)
            break;
        opening = close + 1;
    }
    std::string plain;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '{') {
            const size_t close = text.find('}', at);
            if (close != std::string_view::npos) {
                at = close;
                continue;
            }
        }
        if (text[at] == '\\' && at + 1 < text.size() && (text[at + 1] == 'N' || text[at + 1] == 'n' || text[at + 1] == 'h')) {
            plain += text[at + 1] == 'h' ? ' ' : '\n';
            ++at;
            continue;
        }
        plain += text[at];
    }
    const std::string left = withoutSoundDescriptions(plain);
    if (left == plain)
        return std::string(text);
    if (left.empty())
        return "";
    std::string event(text.substr(0, opening));
    for (char c : left) {
        if (c == '\n')
            event += "\\N";
        else
            event += c;
    }
    return event;
}

}
