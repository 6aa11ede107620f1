#include "caption/caption_writers.h"
#include "caption/text_edits.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace sublumen {

namespace {

// The reader takes lines of at most 999 bytes, the line feed included; a longer line comes in pieces.
constexpr size_t linePiece = 999;

// One token as the reader's tokenizer finds it: leading separators skipped, ended by the next one.
struct Token {
    size_t from;
    size_t to;
};

bool nextToken(std::string_view s, size_t& cursor, const char* separators, Token& token)
{
    while (cursor < s.size() && std::strchr(separators, s[cursor]) && s[cursor] != '\0')
        ++cursor;
    if (cursor >= s.size())
        return false;
    token.from = cursor;
    while (cursor < s.size() && !(std::strchr(separators, s[cursor]) && s[cursor] != '\0'))
        ++cursor;
    token.to = cursor;
    if (cursor < s.size())
        ++cursor;
    return true;
}

// The value of a token as the reader reads it (blanks, a sign, digits), and where its digits end.
int64_t tokenValue(std::string_view s, Token token, size_t& digitsEnd)
{
    size_t i = token.from;
    while (i < token.to && std::isspace(static_cast<unsigned char>(s[i])))
        ++i;
    bool negative = false;
    if (i < token.to && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    int64_t value = 0;
    for (; i < token.to && s[i] >= '0' && s[i] <= '9'; ++i)
        value = std::min<int64_t>(value * 10 + (s[i] - '0'), INT32_MAX + int64_t(1));
    digitsEnd = i;
    value = negative ? -value : value;
    return std::min<int64_t>(value, INT32_MAX);
}

// A time field read as the reader reads it (hours:minutes:seconds.hundredths, any tail left out): its
// value in hundredths, and the stretch from its first token to the last digit read.
bool subTime(std::string_view s, int64_t& hundredths, Token& span)
{
    size_t cursor = 0;
    Token token;
    size_t digitsEnd = 0;
    int64_t parts[4] = {};
    const char* separators[4] = { ": ", ": ", ". ", ". " };
    int count = 0;
    for (; count < 4 && nextToken(s, cursor, separators[count], token); ++count) {
        parts[count] = tokenValue(s, token, digitsEnd);
        if (count == 0)
            span.from = token.from;
        span.to = digitsEnd;
    }
    if (count == 0)
        return false;
    hundredths = ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 100 + parts[3];
    return true;
}

std::string subTimeText(int64_t hundredths)
{
    char out[48];
    std::snprintf(out, sizeof out, "%02lld:%02lld:%02lld.%02lld", static_cast<long long>(hundredths / 360000),
        static_cast<long long>(hundredths / 6000 % 60), static_cast<long long>(hundredths / 100 % 60),
        static_cast<long long>(hundredths % 100));
    return out;
}

}

std::string retimeSub(std::string_view text, const CaptionTimeMove& newTime)
{
    // The reader's bytes: a carriage return before a line feed is dropped. Each of them remembers where
    // it stands in the file.
    const size_t end = readableEnd(text);
    std::string seen;
    std::vector<size_t> at;
    seen.reserve(end);
    at.reserve(end);
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '\r' && i + 1 < end && text[i + 1] == '\n')
            continue;
        seen += text[i];
        at.push_back(i);
    }
    TextEdits edits(text);
    // Moves the time written in field (a stretch of seen starting at offset).
    auto move = [&](std::string_view field, size_t offset) {
        int64_t hundredths = 0;
        Token span {};
        // A field without a digit is read as 0 but is no time to move.
        if (!subTime(field, hundredths, span) || span.to <= span.from || hundredths < 0 || hundredths > INT32_MAX / 10)
            return;
        const int64_t moved = (newTime(hundredths * 10) + 5) / 10;
        if (moved != hundredths)
            edits.replace(at[offset + span.from], at[offset + span.to - 1] + 1, subTimeText(moved));
    };
    for (size_t from = 0; from < seen.size();) {
        size_t lineEnd = seen.find('\n', from);
        lineEnd = lineEnd == std::string::npos ? seen.size() : lineEnd + 1;
        lineEnd = std::min(lineEnd, from + linePiece);
        std::string_view line(seen.data() + from, lineEnd - from);
        while (!line.empty() && line.back() == '\n')
            line.remove_suffix(1);
        // A C string to the reader: a NUL byte ends the line.
        line = line.substr(0, std::min(line.find('\0'), line.size()));
        if (!line.empty() && line[0] >= '0' && line[0] <= '9') {
            size_t cursor = 0;
            Token first;
            Token second;
            if (nextToken(line, cursor, ", ", first) && nextToken(line, cursor, ", ", second)) {
                move(line.substr(first.from, first.to - first.from), from + first.from);
                move(line.substr(second.from, second.to - second.from), from + second.from);
            }
        } else if (line.size() > 1 && line[0] == '[' && line[1] >= '0' && line[1] <= '9') {
            move(line.substr(1), from + 1);
        }
        from = lineEnd;
    }
    return edits.result();
}

}
