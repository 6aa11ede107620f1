#include "caption/caption_writers.h"
#include "caption/text_edits.h"

#include <algorithm>
#include <cstdint>
#include <strings.h>
#include <vector>

namespace sublumen {

namespace {

// The reader keeps the first 1023 characters of a tag.
constexpr size_t tagLimit = 1023;

}

std::string retimeSami(std::string_view text, const CaptionTimeMove& newTime)
{
    // The reader's walk over the bytes: line breaks vanish everywhere, "<" opens a tag (and keeps it open),
    // ">" closes it; the tag's text remembers where in the file each of its characters stands.
    TextEdits edits(text);
    const size_t end = readableEnd(text);
    std::string tag;
    std::vector<size_t> at;
    bool inTag = false;
    for (size_t i = 0; i < end; ++i) {
        const char c = text[i];
        if (c == '\n' || c == '\r')
            continue;
        if (c == '<') {
            inTag = true;
            continue;
        }
        if (c == '>' && inTag) {
            // A SYNC tag: its start is the number after the first "=", past blanks and one quote.
            const std::string_view name(tag.c_str());
            const size_t equals = name.find('=');
            if (name.size() > 4 && strncasecmp(name.data(), "SYNC", 4) == 0 && (name[4] == ' ' || name[4] == '\t')
                && equals != std::string_view::npos) {
                size_t p = equals + 1;
                while (p < name.size() && (name[p] == ' ' || name[p] == '\t'))
                    ++p;
                if (p < name.size() && (name[p] == '"' || name[p] == '\''))
                    ++p;
                size_t digits = p;
                uint64_t value = 0;
                while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') {
                    value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(name[digits] - '0'), 4294967295u);
                    ++digits;
                }
                // The largest value stands for a time beyond every movie; it stays.
                if (digits > p && value < 4294967295u) {
                    const int64_t moved = newTime(static_cast<int64_t>(value));
                    if (moved != static_cast<int64_t>(value))
                        edits.replace(at[p], at[digits - 1] + 1, std::to_string(std::min<int64_t>(moved, 4294967294)));
                }
            }
            tag.clear();
            at.clear();
            inTag = false;
            continue;
        }
        if (inTag && tag.size() < tagLimit) {
            tag += c;
            at.push_back(i);
        }
    }
    return edits.result();
}

}
