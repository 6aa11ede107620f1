#include "app/debug_log.h"
#include "caption/caption.h"
#include "caption/caption_text.h"
#include "platform/kernel.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

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

// Bounds on what a file may define, so that a STYLE block of hundreds of classes or of huge names costs
// little; what lies beyond them is dropped and logged.
constexpr size_t maximumClasses = 32;
constexpr size_t maximumClassName = 64;
constexpr size_t maximumStyleText = 256 * 1024;

bool startsWithWord(const char* tag, const char* word)
{
    size_t n = std::strlen(word);
    return strncasecmp(tag, word, n) == 0 && (tag[n] == '\0' || tag[n] == ' ' || tag[n] == '\t');
}

std::string lowered(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
}

bool isNameCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
        || static_cast<unsigned char>(c) >= 0x80;
}

// The class named by a P tag's Class attribute (P Class=KRCC, p class="ENCC" id=x); "" without one.
std::string paragraphClass(const char* tag)
{
    for (const char* p = tag + 1; *p; ++p) {
        if (strncasecmp(p, "class", 5) != 0 || isNameCharacter(p[-1]))
            continue;
        const char* q = p + 5;
        while (*q == ' ' || *q == '\t')
            ++q;
        if (*q != '=')
            continue;
        ++q;
        while (*q == ' ' || *q == '\t')
            ++q;
        if (*q == '"' || *q == '\'')
            ++q;
        std::string name;
        while (isNameCharacter(*q) && name.size() < maximumClassName)
            name += *q++;
        return name;
    }
    return "";
}

// The class rules of a STYLE block: ".KRCC { Name:Korean; lang:ko-KR; SAMIType:CC; }".
std::vector<CaptionClass> styleClasses(const std::string& style)
{
    std::vector<CaptionClass> out;
    bool tooMany = false;
    for (size_t at = style.find('.'); at != std::string::npos; at = style.find('.', at + 1)) {
        size_t end = at + 1;
        while (end < style.size() && isNameCharacter(style[end]))
            ++end;
        size_t open = style.find_first_not_of(" \t\r\n", end);
        if (end == at + 1 || open == std::string::npos || style[open] != '{')
            continue;
        size_t close = style.find('}', open);
        if (close == std::string::npos)
            close = style.size();
        CaptionClass c;
        c.name = style.substr(at + 1, std::min(end - at - 1, maximumClassName));
        if (end - at - 1 > maximumClassName)
            debugLog("Caption:: class name of %u characters cut.\n", static_cast<unsigned>(end - at - 1));
        std::string body = style.substr(open + 1, close - open - 1);
        for (size_t from = 0; from < body.size();) {
            size_t semicolon = std::min(body.find(';', from), body.size());
            std::string declaration = body.substr(from, semicolon - from);
            from = semicolon + 1;
            size_t colon = declaration.find(':');
            if (colon == std::string::npos)
                continue;
            std::string key = lowered(trimmed(declaration.substr(0, colon)));
            std::string value = trimmed(declaration.substr(colon + 1)).substr(0, maximumClassName);
            if (key == "name")
                c.title = value;
            else if (key == "lang")
                c.lang = value;
        }
        at = close;
        bool known = std::any_of(out.begin(), out.end(),
            [&](const CaptionClass& o) { return strcasecmp(o.name.c_str(), c.name.c_str()) == 0; });
        if (known)
            continue;
        if (out.size() == maximumClasses) {
            tooMany = true;
            continue;
        }
        out.push_back(std::move(c));
    }
    if (tooMany)
        debugLog("Caption:: more than %u classes defined; the rest dropped.\n", static_cast<unsigned>(maximumClasses));
    return out;
}

// The text of one paragraph of one SYNC, with the class its P tag named ("" for every class).
struct ClassPiece {
    uint32_t start;
    std::string className;
    std::string text;
};

// Collects the paragraphs of the SYNC being read, beside the joined caption of the reader.
class ParagraphPieces {
public:
    void startParagraph(std::string className)
    {
        open.push_back({ 0, std::move(className), "" });
    }
    void append(char c)
    {
        if (c == '\0')
            return;
        if (open.empty())
            startParagraph("");
        if (open.back().text.size() < 1023)
            open.back().text += c;
    }
    void clear() { open.clear(); }

    // The paragraphs of the SYNC just ended, cleaned as the caption is, become pieces at start. A blank
    // paragraph outside any class only clears every class when the SYNC has no class of its own.
    void finish(uint32_t start, bool filter)
    {
        bool hasClass = std::any_of(open.begin(), open.end(), [](const ClassPiece& p) { return !p.className.empty(); });
        for (ClassPiece& piece : open) {
            if (piece.text.empty())
                continue;
            if (filter)
                filterCaptionText(piece.text.data());
            else
                replaceNbsp(piece.text.data());
            piece.text.resize(std::strlen(piece.text.c_str()));
            bool blank = piece.text.find_first_not_of(" \t\r\n") == std::string::npos;
            if (piece.className.empty() && blank && hasClass)
                continue;
            piece.start = start;
            done.push_back(std::move(piece));
        }
        open.clear();
    }

    std::vector<ClassPiece> done;

private:
    std::vector<ClassPiece> open;
};

// The classes of a file with two or more classes with text, each with its entries; none otherwise.
std::vector<CaptionClass> buildClasses(std::vector<CaptionClass> defined, const std::vector<ClassPiece>& pieces)
{
    auto indexOf = [&](const std::string& name) -> int {
        for (size_t i = 0; i < defined.size(); ++i)
            if (strcasecmp(defined[i].name.c_str(), name.c_str()) == 0)
                return static_cast<int>(i);
        return -1;
    };
    std::vector<bool> hasText(defined.size(), false);
    bool tooMany = false;
    for (const ClassPiece& piece : pieces) {
        if (piece.className.empty())
            continue;
        int index = indexOf(piece.className);
        if (index < 0) {
            if (defined.size() == maximumClasses) {
                tooMany = true;
                continue;
            }
            debugLog("Caption:: class %s is not defined; read as its own.\n", piece.className.c_str());
            defined.push_back({ piece.className, "", "", {}, 0 });
            hasText.push_back(false);
            index = static_cast<int>(defined.size()) - 1;
        }
        if (piece.text.find_first_not_of(" \t\r\n") != std::string::npos)
            hasText[static_cast<size_t>(index)] = true;
    }
    if (tooMany)
        debugLog("Caption:: paragraphs of classes beyond %u dropped.\n", static_cast<unsigned>(maximumClasses));
    if (std::count(hasText.begin(), hasText.end(), true) < 2)
        return {};

    std::vector<CaptionClass> out;
    for (size_t i = 0; i < defined.size(); ++i) {
        if (!hasText[i]) {
            debugLog("Caption:: class %s has no text.\n", defined[i].name.c_str());
            continue;
        }
        CaptionClass c = std::move(defined[i]);
        for (const ClassPiece& piece : pieces) {
            bool own = !piece.className.empty() && strcasecmp(piece.className.c_str(), c.name.c_str()) == 0;
            if (own || piece.className.empty())
                c.entries.push_back({ piece.start, piece.text });
            c.ownEntries += own ? 1 : 0;
        }
        std::stable_sort(c.entries.begin(), c.entries.end(),
            [](const ClassEntry& a, const ClassEntry& b) { return a.start < b.start; });
        out.push_back(std::move(c));
    }
    return out;
}

// The class shown first: the Korean one, else the first defined (the defined classes come first).
int firstClassShown(const std::vector<CaptionClass>& classes)
{
    for (size_t i = 0; i < classes.size(); ++i)
        if (strncasecmp(classes[i].lang.c_str(), "ko", 2) == 0)
            return static_cast<int>(i);
    return 0;
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
    ParagraphPieces pieces;
    std::string style;
    bool inStyle = false;
    bool styleCut = false;
    bool inTag = false;
    uint32_t currentStart = 0;
    uint32_t syncCount = 0;

    for (int c = file.getc(); c != EOF; c = file.getc()) {
        if (c == '\n' || c == '\r') {
            // A line break still separates the words of the STYLE block.
            if (inStyle && style.size() < maximumStyleText)
                style += ' ';
            continue;
        }
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
                        pieces.finish(currentStart, true);
                    }
                    pending.clear();
                }
                pieces.clear();
                if (readSyncStart(tag.text, currentStart))
                    ++syncCount;
            } else {
                if (startsWithWord(tag.text, "P"))
                    pieces.startParagraph(paragraphClass(tag.text));
                else if (startsWithWord(tag.text, "STYLE"))
                    inStyle = true;
                else if (startsWithWord(tag.text, "/STYLE"))
                    inStyle = false;
                if (const TagRow* row = findTag(tag.text, '\0'); row && row->replacement) {
                    pending.append(row->replacement);
                    pieces.append(row->replacement);
                }
            }
            tag.clear();
            inTag = false;
            continue;
        }
        if (inStyle && style.size() < maximumStyleText) {
            style += static_cast<char>(c);
        } else if (inStyle && !styleCut) {
            styleCut = true;
            debugLog("Caption:: STYLE block beyond %u bytes not read.\n", static_cast<unsigned>(maximumStyleText));
        }
        if (inTag) {
            tag.append(static_cast<char>(c));
        } else {
            pending.append(static_cast<char>(c));
            pieces.append(static_cast<char>(c));
        }
    }

    if (!pending.empty()) {
        // The last caption is added as read, with only its "&nbsp;" turned into spaces.
        replaceNbsp(pending.text);
        appendEntry(currentStart, pending.text);
        pieces.finish(currentStart, false);
    }
    appendEntry(endMarker, "");
    sortEntries();

    classes = buildClasses(styleClasses(style), pieces.done);
    if (!classes.empty()) {
        shownClass = defaultClass = firstClassShown(classes);
        debugLog("Caption:: %u classes, showing %s.\n", static_cast<unsigned>(classes.size()),
            classes[static_cast<size_t>(shownClass)].name.c_str());
    }
    return 0;
}

}
