#include "caption/text_cues.h"

#include <algorithm>
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
    size_t first = out.find_first_not_of(" \t\n");
    if (first == std::string::npos)
        return "";
    return out.substr(first, out.find_last_not_of(" \t\n") + 1 - first);
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
