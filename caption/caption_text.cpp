#include "caption/caption_text.h"

#include "platform/hex_digit.h"

#include <cctype>
#include <cstring>
#include <strings.h>

namespace sublumen {

const TagRow tagTable[9] = {
    { "br", '\n' },
    { "/br", '\r' },
    { "center", 0 },
    { "/center", 0 },
    { "b", 0 },
    { "/b", 0 },
    { "ruby", '[' },
    { "rt", '/' },
    { "/ruby", ']' },
};

const EntityRow entityTable[1] = {
    { "nbsp", ' ' },
};

const TagRow* findTag(const char* text, char close)
{
    for (const TagRow& row : tagTable) {
        size_t n = std::strlen(row.name);
        if (strncasecmp(text, row.name, n) == 0 && text[n] == close)
            return &row;
    }
    return nullptr;
}

bool replaceTag(const char*& in, char*& out, char close)
{
    const TagRow* row = findTag(in + 1, close);
    if (!row)
        return false;
    if (row->replacement)
        *out++ = row->replacement;
    in += std::strlen(row->name) + 2;
    return true;
}

void filterCaptionText(char* text)
{
    // Decoding pass: the write position never passes the read position.
    char* out = text;
    const char* in = text;
    while (*in) {
        char c = *in;
        if (c == '%') {
            if (in[1] == '%') {
                *out++ = '%';
                in += 2;
                continue;
            }
            int high = platform::hexDigit(in[1]);
            int low = high >= 0 ? platform::hexDigit(in[2]) : -1;
            if (high >= 0 && low >= 0) {
                *out++ = static_cast<char>(high * 16 + low);
                in += 3;
                continue;
            }
            *out++ = *in++;
            continue;
        }
        if (c == '&') {
            bool matched = false;
            for (const EntityRow& row : entityTable) {
                size_t n = std::strlen(row.name);
                if (strncasecmp(in + 1, row.name, n) == 0) {
                    *out++ = row.replacement;
                    in += 1 + n;
                    if (*in == ';')
                        ++in;
                    matched = true;
                    break;
                }
            }
            if (!matched)
                *out++ = *in++;
            continue;
        }
        if (c == '<' && replaceTag(in, out, '>'))
            continue;
        *out++ = *in++;
    }
    *out = '\0';

    // Blank pass: runs of spaces and tabs become one space; nothing is trimmed.
    out = text;
    in = text;
    while (*in) {
        if (*in == ' ' || *in == '\t') {
            while (*in == ' ' || *in == '\t')
                ++in;
            *out++ = ' ';
        } else {
            *out++ = *in++;
        }
    }
    *out = '\0';
}

}
