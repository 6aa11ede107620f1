#include "app/debug_log.h"
#include "app/path_text.h"
#include "caption/caption.h"
#include "media/movie_list.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <strings.h>

namespace sublumen {

namespace {

enum class ListFormat { Slm, Ml };

constexpr size_t textSize = sizeof(MovieItem::movie);

// Lists written on other systems separate with backslashes; this system opens paths with slashes.
void useForwardSlashes(char* path)
{
    for (char* p = path; *p; ++p) {
        if (*p == '\\')
            *p = '/';
    }
}

// A value naming a file, as stored in an item: always absolute, since the program itself changes the
// current directory. A relative name is taken relative to the list's own directory (listDir, itself
// absolute); a name too long to be joined whole is cut at the item's limit.
void completePath(const char* listDir, const char* value, char* out)
{
    boundedCopy(out, value, textSize);
    useForwardSlashes(out);
    if (out[0] == '\0' || out[0] == '/' || listDir[0] == '\0' || makeAbsolute(out, textSize, listDir))
        return;
    char joined[2 * textSize + 2];
    std::snprintf(joined, sizeof joined, "%s%s%s", listDir, listDir[std::strlen(listDir) - 1] == '/' ? "" : "/", out);
    boundedCopy(out, joined, textSize);
}

// The absolute directory of the list file at path into listDir: a relative list path is taken from
// the current directory. Empty only when that cannot be had; values are then stored as written.
void absoluteListDir(const char* path, char (&listDir)[1024])
{
    char directory[1024];
    directoryOf(path, directory, sizeof directory);
    if (path[0] == '/') {
        boundedCopy(listDir, directory[0] ? directory : "/", sizeof listDir);
        return;
    }
    char current[1024];
    currentDirectory(current, sizeof current);
    if (directory[0])
        makeAbsolute(directory, sizeof directory, current);
    boundedCopy(listDir, directory[0] ? directory : current, sizeof listDir);
}

// Decimal with the C library's atoi rules, kept inside 32 bits.
int32_t decimalValue(const char* text)
{
    long value = std::strtol(text, nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

// Reads one list file, line by line, into the list.
class ListReader {
public:
    ListReader(MovieList& list, const char* path, ListFormat format)
        : list_(list)
        , path_(path)
        , format_(format)
    {
        absoluteListDir(path, listDir_);
    }

    int read()
    {
        TextModeFile file(path_);
        if (!file.isOpen())
            return -1;
        encoding_ = file.encoding();
        // One read takes at most 999 characters; a longer line keeps those and loses the rest.
        char buffer[1000];
        while (file.gets(buffer, sizeof buffer)) {
            size_t length = std::strlen(buffer);
            bool cut = length == sizeof buffer - 1 && buffer[length - 1] != '\n' && dropRestOfLine(file);
            while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r'))
                buffer[--length] = '\0';
            char* line = const_cast<char*>(skipChars(buffer, " \t\b"));
            ++lineNumber_;
            if (*line == '!' || *line == '#')
                continue;
            if (cut)
                debugLog("%s(%d) : Too long. Cut.\n", path_, lineNumber_);
            if (*line == '\0')
                continue;
            if (format_ == ListFormat::Slm)
                slmLine(line);
            else
                mlLine(line);
        }
        if (open_)
            addOpenItem();
        list_.rewind();
        return 0;
    }

private:
    // Reads up to the end of the line whose first part was just read; true when anything but the line
    // feed was dropped.
    static bool dropRestOfLine(TextModeFile& file)
    {
        bool dropped = false;
        for (int c = file.getc(); c != EOF && c != '\n'; c = file.getc())
            dropped = dropped || c != '\r';
        return dropped;
    }

    void addOpenItem()
    {
        // The texts keep the file's bytes: paths name the files on disk, and the log shows them as the file
        // has them. Only the title is ever decoded, when it is shown.
        list_.addItem(title_, movie_, caption_, timeshift_, titleEncoding_);
        title_[0] = movie_[0] = caption_[0] = '\0';
        timeshift_ = 0;
        titleEncoding_ = platform::TextEncoding::Guess;
    }

    // Lists edited over the years mix encodings line by line (a UTF-8 title added to a CP949 list), so a
    // title is read as UTF-8 when its line is UTF-8 and not plain ASCII, else in the file's encoding.
    void setTitle(const char* text)
    {
        boundedCopy(title_, text, sizeof title_);
        std::string_view bytes(title_);
        bool multiByte
            = std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        titleEncoding_ = multiByte && platform::isValidUtf8(bytes) ? platform::TextEncoding::Utf8 : encoding_;
    }

    void openItem()
    {
        if (open_)
            addOpenItem();
        open_ = true;
    }

    // The value of a key line, with the key cut off at the "="; none (after the diagnostic) when the
    // line cannot be used.
    char* valueOf(char* keyLine)
    {
        if (!open_) {
            debugLog("%s(%d) : No item. Ignored.\n", path_, lineNumber_);
            return nullptr;
        }
        char* equals = std::strchr(keyLine, '=');
        if (!equals) {
            debugLog("%s(%d) : No '='. Ignored.\n", path_, lineNumber_);
            return nullptr;
        }
        *equals = '\0';
        return equals + 1;
    }

    void captionKey(const char* value)
    {
        if (caption_[0])
            debugLog("%s(%d) : Dup Cap. Ignored.\n", path_, lineNumber_);
        else
            completePath(listDir_, value, caption_);
    }

    void slmLine(char* line)
    {
        if (*line == '@') {
            openItem();
            setTitle(line + 1);
            return;
        }
        const char* key = line;
        const char* value = valueOf(line);
        if (!value)
            return;
        if (strcasecmp(key, "movie") == 0) {
            if (movie_[0])
                debugLog("%s(%d) : Dup Mov. Ignored.\n", path_, lineNumber_);
            else
                completePath(listDir_, value, movie_);
        } else if (strcasecmp(key, "caption") == 0) {
            captionKey(value);
        } else if (strcasecmp(key, "timeshift") == 0) {
            timeshift_ = decimalValue(value);
        } else {
            debugLog("%s(%d) : Unknown. Ignored.\n", path_, lineNumber_);
        }
    }

    void mlLine(char* line)
    {
        if (*line != ':') {
            openItem();
            completePath(listDir_, line, movie_);
            return;
        }
        const char* key = line + 1;
        const char* value = valueOf(line + 1);
        if (!value)
            return;
        if (strcasecmp(key, "title") == 0) {
            // A title is shown, not opened: it is kept as written.
            if (title_[0])
                debugLog("%s(%d) : Dup Title. Ignored.\n", path_, lineNumber_);
            else
                setTitle(value);
        } else if (strcasecmp(key, "caption") == 0) {
            captionKey(value);
        } else if (strcasecmp(key, "timeshift") == 0) {
            timeshift_ = decimalValue(value);
        } else {
            debugLog("%s(%d) : Unknown. Ignored.\n", path_, lineNumber_);
        }
    }

    MovieList& list_;
    const char* path_;
    ListFormat format_;
    char listDir_[1024];
    bool open_ = false;
    char title_[1024] = "";
    platform::TextEncoding titleEncoding_ = platform::TextEncoding::Guess;
    platform::TextEncoding encoding_ = platform::TextEncoding::Guess;
    char movie_[1024] = "";
    char caption_[1024] = "";
    int32_t timeshift_ = 0;
    int lineNumber_ = 0;
};

bool endsWithNoCase(const char* text, size_t length, const char* ending)
{
    size_t n = std::strlen(ending);
    return length >= n && strcasecmp(text + length - n, ending) == 0;
}

}

int listKind(const char* path)
{
    size_t length = path ? std::strlen(path) : 0;
    if (length > 4 && endsWithNoCase(path, length, ".slm"))
        return 1;
    if (length > 3 && endsWithNoCase(path, length, ".ml"))
        return 2;
    return 0;
}

int loadListFile(MovieList& list, const char* path)
{
    return listKind(path) == 1 ? readSlmList(list, path) : readMlList(list, path);
}

int readSlmList(MovieList& list, const char* path)
{
    return ListReader(list, path, ListFormat::Slm).read();
}

int readMlList(MovieList& list, const char* path)
{
    return ListReader(list, path, ListFormat::Ml).read();
}

const char* skipChars(const char* text, const char* set)
{
    return text + std::strspn(text, set);
}

}
