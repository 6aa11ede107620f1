#include "caption/text_cues.h"

#include <algorithm>
#include <cctype>
#include <queue>
#include <set>
#include <utility>

namespace sublumen {

namespace {

bool isTagStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '/' || c == '!';
}

bool isBreakTag(std::string_view tag)
{
    return tag.size() >= 2 && (tag[0] == 'b' || tag[0] == 'B') && (tag[1] == 'r' || tag[1] == 'R')
        && (tag.size() == 2 || tag[2] == ' ' || tag[2] == '/');
}

// The length of the longest prefix of text of at most limit bytes that ends on a whole UTF-8 character.
size_t wholeCharacters(const std::string& text, size_t limit)
{
    if (text.size() <= limit)
        return text.size();
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

std::string trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\n");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\n") + 1 - first);
}

void appendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The character reference at the front of in ("&..."): what it stands for and its length; a length of
// 0 when it is none.
std::pair<std::string_view, size_t> namedReference(std::string_view in)
{
    struct Named {
        std::string_view name;
        std::string_view text;
        bool bare;  // also without the semicolon, as old HTML wrote it
    };
    static constexpr Named names[] = {
        { "amp", "&", true }, { "lt", "<", true }, { "gt", ">", true }, { "quot", "\"", true },
        { "nbsp", " ", true }, { "apos", "'", false }, { "lrm", "", false }, { "rlm", "", false },
    };
    for (const Named& n : names) {
        if (in.substr(1, n.name.size()) != n.name)
            continue;
        size_t after = 1 + n.name.size();
        if (after < in.size() && in[after] == ';')
            return { n.text, after + 1 };
        bool wordGoesOn = after < in.size() && std::isalnum(static_cast<unsigned char>(in[after]));
        if (n.bare && !wordGoesOn)
            return { n.text, after };
    }
    return { {}, 0 };
}

// The numeric reference at the front of in ("&#233;" or "&#xE9;") appended to out; its length, or 0.
size_t numericReference(std::string_view in, std::string& out)
{
    bool hex = in.size() > 2 && (in[2] == 'x' || in[2] == 'X');
    size_t i = hex ? 3 : 2;
    uint32_t code = 0;
    size_t from = i;
    for (; i < in.size() && i - from < 8; ++i) {
        char c = in[i];
        int digit = c >= '0' && c <= '9' ? c - '0'
            : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
            : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
            : -1;
        if (digit < 0)
            break;
        code = code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
    }
    if (i == from || i >= in.size() || in[i] != ';' || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    appendUtf8(out, code);
    return i + 1;
}

}

std::string decodeCharacterReferences(std::string_view in)
{
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        if (in[i] == '&') {
            std::string_view rest = in.substr(i);
            if (rest.starts_with("&#")) {
                if (size_t length = numericReference(rest, out)) {
                    i += length;
                    continue;
                }
            } else if (auto [text, length] = namedReference(rest); length) {
                out += text;
                i += length;
                continue;
            }
        }
        out += in[i++];
    }
    return out;
}

std::string plainWebVttText(std::string_view in)
{
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        char c = in[i];
        if (c == '<' && i + 1 < in.size() && (isTagStart(in[i + 1]) || (in[i + 1] >= '0' && in[i + 1] <= '9'))) {
            // A tag, or a time stamp; one with no '>' on its line is text after all.
            size_t close = in.find_first_of(">\n", i + 1);
            if (close != std::string_view::npos && in[close] == '>') {
                if (isBreakTag(in.substr(i + 1, close - i - 1)))
                    out += '\n';
                i = close + 1;
                continue;
            }
        }
        if (c != '\0' && c != '\r')
            out += c;
        ++i;
    }
    std::string decoded = decodeCharacterReferences(out);
    // Marks that only steer the direction of the text or allow a break: nothing to draw.
    out.clear();
    for (size_t i = 0; i < decoded.size(); ++i) {
        std::string_view rest = std::string_view(decoded).substr(i);
        if (rest.starts_with("\xE2\x80\x8B") || rest.starts_with("\xE2\x80\x8E") || rest.starts_with("\xE2\x80\x8F")
            || rest.starts_with("\xEF\xBB\xBF")) {
            i += 2;
            continue;
        }
        out += decoded[i];
    }
    return trimmed(out);
}

std::string plainCueText(std::string_view in, bool assLine)
{
    if (assLine) {
        // "ReadOrder,Layer,Style,Name,MarginL,MarginR,MarginV,Effect,Text"; the older "Dialogue: Layer,
        // Start,End,Style,Name,MarginL,MarginR,MarginV,Effect,Text" has one field more before the text.
        int fields = in.starts_with("Dialogue:") ? 9 : 8;
        for (; fields > 0; --fields) {
            size_t comma = in.find(',');
            if (comma == std::string_view::npos)
                return "";
            in.remove_prefix(comma + 1);
        }
    }
    std::string out;
    out.reserve(in.size());
    // Between {\p1} and {\p0} the text is a vector drawing's commands, not words.
    bool drawing = false;
    for (size_t i = 0; i < in.size();) {
        char c = in[i];
        if (c == '{') {
            size_t close = in.find('}', i + 1);
            if (close != std::string_view::npos) {
                std::string_view block = in.substr(i, close - i);
                for (size_t p = block.find("\\p"); p != std::string_view::npos; p = block.find("\\p", p + 2)) {
                    if (p + 2 < block.size() && block[p + 2] >= '0' && block[p + 2] <= '9')
                        drawing = block[p + 2] != '0';
                }
                i = close + 1;
                continue;
            }
        }
        if (drawing) {
            ++i;
            continue;
        } else if (c == '\\' && i + 1 < in.size()) {
            char next = in[i + 1];
            if (next == 'N' || next == 'n' || next == 'h') {
                out += next == 'h' ? ' ' : '\n';
                i += 2;
                continue;
            }
        } else if (c == '<' && i + 1 < in.size() && isTagStart(in[i + 1])) {
            size_t close = in.find('>', i + 1);
            if (close != std::string_view::npos) {
                if (isBreakTag(in.substr(i + 1, close - i - 1)))
                    out += '\n';
                i = close + 1;
                continue;
            }
        } else if (c == '\r' || c == '\0') {
            ++i;
            continue;
        }
        out += c;
        ++i;
    }
    return trimmed(out);
}

size_t cuesWithoutDuration(const std::vector<TextCue>& cues)
{
    return static_cast<size_t>(std::count_if(cues.begin(), cues.end(), [](const TextCue& c) { return c.end <= c.start; }));
}

std::vector<ClassEntry> entriesOfCues(std::vector<TextCue> cues)
{
    std::erase_if(cues, [](const TextCue& c) { return c.end <= c.start; });
    std::stable_sort(cues.begin(), cues.end(), [](const TextCue& a, const TextCue& b) { return a.start < b.start; });

    // Ends still to come, earliest first; running holds the cues started and not ended, by index, which
    // is start order.
    using End = std::pair<uint32_t, size_t>;
    std::priority_queue<End, std::vector<End>, std::greater<End>> ends;
    std::set<size_t> running;
    std::vector<size_t> shown;
    std::vector<size_t> previous;
    std::vector<ClassEntry> out;
    size_t next = 0;
    while (next < cues.size() || !ends.empty()) {
        uint32_t time = next < cues.size() ? cues[next].start : ends.top().first;
        if (!ends.empty())
            time = std::min(time, ends.top().first);
        while (!ends.empty() && ends.top().first == time) {
            running.erase(ends.top().second);
            ends.pop();
        }
        for (; next < cues.size() && cues[next].start == time; ++next) {
            running.insert(next);
            ends.push({ cues[next].end, next });
        }

        // A cue once shown stays among the first shown until it ends, as every later one starts later,
        // so the shown set changes at most twice per cue.
        shown.clear();
        for (auto it = running.begin(); it != running.end() && shown.size() < maximumCuesTogether; ++it)
            shown.push_back(*it);
        if (shown == previous && !out.empty())
            continue;
        std::string text;
        for (size_t index : shown) {
            const std::string& piece = cues[index].text;
            if (piece.empty())
                continue;
            if (!text.empty())
                text += '\n';
            text += piece;
            if (text.size() >= maximumShownText)
                break;
        }
        text.resize(wholeCharacters(text, maximumShownText));
        previous.swap(shown);
        if (!out.empty() && out.back().text == text)
            continue;
        out.push_back({ time, std::move(text) });
    }
    return out;
}

}
