#include "caption/caption_writers.h"
#include "caption/text_edits.h"

#include <algorithm>
#include <cstdio>
#include <strings.h>
#include <vector>

namespace sublumen {

namespace {

std::string_view trimmed(std::string_view s)
{
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

bool startsWithNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && strncasecmp(s.data(), prefix.data(), prefix.size()) == 0;
}

// An event time H:MM:SS.CC as the media library reads it: three numbers separated by colons, any one
// character, then the hundredths. Its value in hundredths and where it is written within field.
bool ssaTime(std::string_view field, int64_t& hundredths, size_t& from, size_t& to)
{
    size_t i = field.find_first_not_of(" \t");
    if (i == std::string_view::npos)
        return false;
    from = i;
    int64_t parts[4] = {};
    for (int p = 0; p < 4; ++p) {
        if (p > 0) {
            if (i >= field.size() || (p < 3 && field[i] != ':'))
                return false;
            ++i;
        }
        const size_t digits = i;
        while (i < field.size() && field[i] >= '0' && field[i] <= '9' && i - digits < 9)
            parts[p] = parts[p] * 10 + (field[i++] - '0');
        if (i == digits)
            return false;
    }
    to = i;
    hundredths = ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 100 + parts[3];
    return true;
}

std::string ssaTimeText(int64_t hundredths)
{
    char out[48];
    std::snprintf(out, sizeof out, "%lld:%02lld:%02lld.%02lld", static_cast<long long>(hundredths / 360000),
        static_cast<long long>(hundredths / 6000 % 60), static_cast<long long>(hundredths / 100 % 60),
        static_cast<long long>(hundredths % 100));
    return out;
}

}

std::string retimeSsa(std::string_view text, const CaptionTimeMove& newTime)
{
    TextEdits edits(text);
    const size_t end = readableEnd(text);
    bool inEvents = false;
    // Where Start and End stand among an event's fields, as the section's Format line says.
    size_t startField = 1;
    size_t endField = 2;
    for (size_t from = 0; from < end;) {
        const size_t lineEnd = std::min(text.find('\n', from), end);
        const std::string_view line = text.substr(from, lineEnd - from);
        const std::string_view content = trimmed(line);
        const size_t lineStart = from;
        from = lineEnd + 1;
        if (content.starts_with('[')) {
            inEvents = startsWithNoCase(content, "[Events]");
            continue;
        }
        if (!inEvents)
            continue;
        if (startsWithNoCase(content, "Format:")) {
            size_t index = 0;
            std::string_view rest = content.substr(7);
            for (size_t at = 0; at <= rest.size(); ++index) {
                const size_t comma = std::min(rest.find(',', at), rest.size());
                const std::string_view name = trimmed(rest.substr(at, comma - at));
                if (strncasecmp(name.data(), "Start", 5) == 0 && name.size() == 5)
                    startField = index;
                else if (strncasecmp(name.data(), "End", 3) == 0 && name.size() == 3)
                    endField = index;
                at = comma + 1;
            }
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view kind = trimmed(line.substr(0, colon));
        if (strcasecmp(std::string(kind).c_str(), "Dialogue") != 0
            && strcasecmp(std::string(kind).c_str(), "Comment") != 0)
            continue;
        // The fields before the text, each up to the next comma.
        size_t fieldStart = colon + 1;
        for (size_t index = 0; index <= std::max(startField, endField); ++index) {
            const size_t comma = line.find(',', fieldStart);
            if (comma == std::string_view::npos)
                break;
            if (index == startField || index == endField) {
                int64_t hundredths = 0;
                size_t timeFrom = 0;
                size_t timeTo = 0;
                const std::string_view field = line.substr(fieldStart, comma - fieldStart);
                if (ssaTime(field, hundredths, timeFrom, timeTo)) {
                    const int64_t moved = (newTime(hundredths * 10) + 5) / 10;
                    if (moved != hundredths)
                        edits.replace(
                            lineStart + fieldStart + timeFrom, lineStart + fieldStart + timeTo, ssaTimeText(moved));
                }
            }
            fieldStart = comma + 1;
        }
    }
    return edits.result();
}

}
