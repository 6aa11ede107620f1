#include "app/debug_log.h"
#include "caption/caption.h"
#include "caption/caption_text.h"
#include "platform/kernel.h"

#include <cstring>
#include <strings.h>

namespace sublumen {

namespace {

// A text of at most 1023 characters that keeps its first characters and drops the rest.
struct BoundedText {
    char text[1024] = "";
    size_t length = 0;

    void append(char c)
    {
        // A NUL byte would end the text where it stands; it adds nothing.
        if (c == '\0' || length >= sizeof text - 1)
            return;
        text[length++] = c;
        text[length] = '\0';
    }
    void clear()
    {
        length = 0;
        text[0] = '\0';
    }
    bool empty() const { return text[0] == '\0'; }
};

bool isSyncTag(const char* tag)
{
    return strncasecmp(tag, "SYNC", 4) == 0 && (tag[4] == ' ' || tag[4] == '\t');
}

// The start value of a SYNC tag: the decimal number after the first "=", where blanks and one quote
// may stand between the two (Start="9209" and Start = 4000 are both common). False when there is none.
bool readSyncStart(const char* tag, uint32_t& start)
{
    const char* p = std::strchr(tag, '=');
    if (!p)
        return false;
    ++p;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == '"' || *p == '\'')
        ++p;
    if (*p < '0' || *p > '9')
        return false;
    uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > 4294967295u)
            value = 4294967295u;
    }
    start = static_cast<uint32_t>(value);
    return true;
}

// "&nbsp;" (exactly so) becomes one space, searching again from the start after each replacement.
void replaceNbsp(char* text)
{
    while (char* found = std::strstr(text, "&nbsp;")) {
        *found = ' ';
        std::memmove(found + 1, found + 6, std::strlen(found + 6) + 1);
    }
}

}

int Caption::loadSMI(const char* fileName)
{
    debugLog("Caption::loadSMI( \"%s\" )\n", fileName);
    if (_access(fileName, 0) != 0)
        return -1;
    TextModeFile file(fileName);
    if (!file.isOpen())
        return -2;
    textEncoding = file.encoding();

    BoundedText pending;
    BoundedText tag;
    bool inTag = false;
    uint32_t currentStart = 0;
    uint32_t syncCount = 0;

    for (int c = file.getc(); c != EOF; c = file.getc()) {
        if (c == '\n' || c == '\r')
            continue;
        if (c == '<') {
            inTag = true;
            continue;
        }
        if (c == '>' && inTag) {
            if (isSyncTag(tag.text)) {
                if (!pending.empty()) {
                    if (syncCount != 0) {
                        filterCaptionText(pending.text);
                        appendEntry(currentStart, pending.text);
                    }
                    pending.clear();
                }
                if (readSyncStart(tag.text, currentStart))
                    ++syncCount;
            } else if (const TagRow* row = findTag(tag.text, '\0'); row && row->replacement) {
                pending.append(row->replacement);
            }
            tag.clear();
            inTag = false;
            continue;
        }
        if (inTag)
            tag.append(static_cast<char>(c));
        else
            pending.append(static_cast<char>(c));
    }

    if (!pending.empty()) {
        // The last caption is added as read, with only its "&nbsp;" turned into spaces.
        replaceNbsp(pending.text);
        appendEntry(currentStart, pending.text);
    }
    appendEntry(endMarker, "");
    sortEntries();
    return 0;
}

}
