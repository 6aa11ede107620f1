#include "caption/sub_reader.h"

#include "app/debug_log.h"
#include "caption/caption.h"
#include "caption/caption_text.h"
#include "platform/codepage.h"
#include "platform/kernel.h"

#include <cctype>
#include <cstring>
#include <strings.h>

namespace sublumen {

namespace {

// How the bytes of one text line are to be read. A .sub file may be Western text, where B4 is the acute
// accent typed as an apostrophe, or Korean text in CP949 or UTF-8, where B4 is part of a character.
enum class LineEncoding {
    Utf8,
    Korean,
    Western,
};

bool inRange(unsigned char c, unsigned char low, unsigned char high) { return c >= low && c <= high; }

bool isCp949Lead(unsigned char c) { return inRange(c, 0x81, 0xFE); }

bool isCp949Trail(unsigned char c) { return inRange(c, 0x41, 0x5A) || inRange(c, 0x61, 0x7A) || inRange(c, 0x81, 0xFE); }

LineEncoding classifyLine(const char* line, size_t length)
{
    if (platform::isValidUtf8(line, length))
        return LineEncoding::Utf8;
    const auto* bytes = reinterpret_cast<const unsigned char*>(line);
    // A Hangul syllable of the common range: lead B0..C8 with a trail A1..FE.
    for (size_t i = 0; i + 1 < length; ++i) {
        if (inRange(bytes[i], 0xB0, 0xC8) && inRange(bytes[i + 1], 0xA1, 0xFE))
            return LineEncoding::Korean;
    }
    return LineEncoding::Western;
}

// The bytes of the character that starts at line[at] (at least 1), so that cutting never splits one.
size_t characterLength(const char* line, size_t at, LineEncoding encoding)
{
    auto lead = static_cast<unsigned char>(line[at]);
    switch (encoding) {
    case LineEncoding::Utf8:
        if (lead >= 0xF0)
            return 4;
        if (lead >= 0xE0)
            return 3;
        if (lead >= 0xC0)
            return 2;
        return 1;
    case LineEncoding::Korean:
        return isCp949Lead(lead) && isCp949Trail(static_cast<unsigned char>(line[at + 1])) ? 2 : 1;
    case LineEncoding::Western:
        break;
    }
    return 1;
}

LineEncoding filterLine(char* line)
{
    size_t length = std::strlen(line);
    LineEncoding encoding = classifyLine(line, length);
    char* out = line;
    const char* in = line;
    while (*in) {
        auto c = static_cast<unsigned char>(*in);
        if (c == '[') {
            if (!replaceTag(in, out, ']'))
                *out++ = *in++;
            continue;
        }
        if (encoding == LineEncoding::Utf8 && c == 0xC2 && static_cast<unsigned char>(in[1]) == 0xB4) {
            *out++ = '\'';
            in += 2;
            continue;
        }
        if (encoding == LineEncoding::Korean && characterLength(in, 0, encoding) == 2) {
            *out++ = *in++;
            *out++ = *in++;
            continue;
        }
        if (encoding != LineEncoding::Utf8 && c == 0xB4) {
            *out++ = '\'';
            ++in;
            continue;
        }
        *out++ = *in++;
    }
    *out = '\0';
    return encoding;
}

// Splits like strtok without writing into the text: leading separators are skipped, a token ends at the
// next separator, and that one separator is consumed with it.
class Tokenizer {
public:
    explicit Tokenizer(const char* text)
        : cursor(text)
    {
    }

    // The next token's start and length; false when only separators are left.
    bool next(const char* separators, const char*& token, size_t& length)
    {
        cursor += std::strspn(cursor, separators);
        if (!*cursor)
            return false;
        token = cursor;
        length = std::strcspn(cursor, separators);
        cursor += length;
        if (*cursor)
            ++cursor;
        return true;
    }

private:
    const char* cursor;
};

// atoi over one token, held to the 32-bit range instead of overflowing.
int64_t tokenValue(const char* token, size_t length)
{
    size_t i = 0;
    while (i < length && std::isspace(static_cast<unsigned char>(token[i])))
        ++i;
    bool negative = false;
    if (i < length && (token[i] == '+' || token[i] == '-'))
        negative = token[i++] == '-';
    int64_t value = 0;
    for (; i < length && token[i] >= '0' && token[i] <= '9'; ++i) {
        value = value * 10 + (token[i] - '0');
        if (value > INT32_MAX + int64_t(1))
            value = INT32_MAX + int64_t(1);
    }
    value = negative ? -value : value;
    return value > INT32_MAX ? INT32_MAX : value;
}

// The pending text of the open caption: at most 2047 characters in its 2048-byte buffer.
struct PendingText {
    char text[2048] = "";
    size_t length = 0;

    void clear()
    {
        length = 0;
        text[0] = '\0';
    }

    // Appends a line, after a line feed when text is already there; a line that cleaned to nothing still
    // gets its line feed. What would pass 2047 characters is cut at the end of the last whole character
    // that fits; a line of which nothing fits adds nothing, not even its line feed.
    void appendLine(const char* line, LineEncoding encoding)
    {
        size_t lineLength = std::strlen(line);
        size_t room = sizeof text - 1 - length;
        size_t separator = length > 0 ? 1 : 0;
        size_t take = 0;
        while (take < lineLength) {
            size_t n = characterLength(line, take, encoding);
            if (take + n > lineLength || separator + take + n > room)
                break;
            take += n;
        }
        if (take == 0 && (lineLength > 0 || separator > room))
            return;
        if (separator)
            text[length++] = '\n';
        std::memcpy(text + length, line, take);
        length += take;
        text[length] = '\0';
    }
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

enum class FlushCause {
    RangeLine,
    SingleTimeLine,
    EndOfInput,
};

}

int32_t parseSubTime(const char* field)
{
    Tokenizer tokens(field);
    const char* token;
    size_t length;
    // Wrapping 32-bit arithmetic, as the times are 32-bit values.
    auto wrap = [](int64_t v) { return static_cast<uint32_t>(v); };

    if (!tokens.next(": ", token, length))
        return 0;
    uint32_t hours = wrap(tokenValue(token, length));
    if (!tokens.next(": ", token, length))
        return static_cast<int32_t>(hours * 360000u);
    uint32_t minutes = wrap(tokenValue(token, length));
    if (!tokens.next(". ", token, length))
        return static_cast<int32_t>(hours * 360000u + minutes * 6000u);
    uint32_t seconds = wrap(tokenValue(token, length));
    uint32_t whole = ((hours * 60u + minutes) * 60u + seconds) * 100u;
    if (!tokens.next(". ", token, length))
        return static_cast<int32_t>(whole);
    return static_cast<int32_t>(whole + wrap(tokenValue(token, length)));
}

void filterSubLine(char* line)
{
    filterLine(line);
}

int Caption::loadSub(const char* fileName)
{
    debugLog("Caption::loadSub( \"%s\" )\n", fileName);
    if (_access(fileName, 0) != 0)
        return -1;
    TextModeFile file(fileName);
    if (!file.isOpen())
        return -2;
    textEncoding = file.encoding();

    char line[1000];
    int32_t lineNumber = 0;
    PendingText pending;
    int mode = 0;
    int32_t start = 0;
    int32_t end = 0;

    auto flush = [&](FlushCause cause) {
        if (mode == 2) {
            if (cause != FlushCause::RangeLine)
                debugLog("Cation from %d ~ %d : %s\n", start, end, pending.text);
            appendEntry(static_cast<uint32_t>(start), pending.text);
            appendEntry(static_cast<uint32_t>(end), "");
        } else if (mode == 1) {
            if (cause != FlushCause::SingleTimeLine)
                debugLog("Cation at %d : %s\n", start, pending.text);
            appendEntry(static_cast<uint32_t>(start), pending.text);
        }
    };
    // Hundredths to milliseconds in the same wrapping 32-bit arithmetic.
    auto milliseconds = [](int32_t hundredths) { return static_cast<int32_t>(static_cast<uint32_t>(hundredths) * 10u); };

    while (file.gets(line, sizeof line)) {
        ++lineNumber;
        size_t length = std::strlen(line);
        while (length > 0 && line[length - 1] == '\n')
            line[--length] = '\0';

        if (isDigit(line[0])) {
            flush(FlushCause::RangeLine);
            mode = 0;
            pending.clear();
            char* rest = nullptr;
            char* first = strtok_r(line, ", ", &rest);
            char* second = first ? strtok_r(nullptr, ", ", &rest) : nullptr;
            if (first && second) {
                start = milliseconds(parseSubTime(first));
                end = milliseconds(parseSubTime(second));
                mode = 2;
            } else {
                debugLog("Bad Time found at line %d --> Ignored.\n", lineNumber);
            }
        } else if (line[0] == '[' && isDigit(line[1])) {
            flush(FlushCause::SingleTimeLine);
            pending.clear();
            start = milliseconds(parseSubTime(line + 1));
            mode = 1;
        } else if (line[0] != '\0' && mode != 0) {
            LineEncoding encoding = filterLine(line);
            pending.appendLine(line, encoding);
        }
    }
    flush(FlushCause::EndOfInput);

    appendEntry(endMarker, "");
    sortEntries();
    return 0;
}

}
