#include "caption/caption.h"

#include "app/debug_log.h"
#include "platform/com.h"

#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sublumen {

Caption::Caption(const char* fileName)
{
    CoInitialize(nullptr);
    comHeld = true;
    entries = nullptr;
    current = nullptr;
    if (!fileName)
        return;

    size_t length = std::strlen(fileName);
    const char* extension = length >= 4 ? fileName + length - 4 : "";
    int rc;
    if (strcasecmp(extension, ".ASF") == 0)
        rc = loadASFscript(fileName);
    else if (strcasecmp(extension, ".SUB") == 0)
        rc = loadSub(fileName);
    else
        rc = loadSMI(fileName);
    loadResult = rc;
    if (rc < 0)
        debugLog("Caption:: load Fail %d.\n", rc);
}

Caption::~Caption()
{
    if (entries || comHeld)
        unload();
}

int Caption::addEntry(uint32_t start, const char* text)
{
    debugLog("%02d:%02d.%02d[%10u]:%s\n", start / 60000u, (start / 1000u) % 60u, (start % 1000u) / 10u, start, text);

    size_t textLength = std::strlen(text);
    size_t payload = sizeof(CaptionEntry) + textLength + 1;
    if (payload > INT32_MAX)
        return -1;
    ListNode* node = nodeCreate(static_cast<int32_t>(payload));
    if (!node)
        return -1;
    auto* entry = static_cast<CaptionEntry*>(node->data);
    entry->start = start;
    entry->text = reinterpret_cast<char*>(entry + 1);
    std::memcpy(entry->text, text, textLength + 1);

    if (!entries) {
        entries = node;
        lastNode = node;
        return 0;
    }
    // Same place as the walk below would find, without the walk: files are nearly always in time order.
    if (lastNode && !lastNode->next && static_cast<CaptionEntry*>(lastNode->data)->start <= start) {
        node->prev = lastNode;
        lastNode->next = node;
        lastNode = node;
        return 0;
    }
    ListNode* at = entries;
    while (at && static_cast<CaptionEntry*>(at->data)->start <= start)
        at = at->next;
    listInsertBefore(&entries, at, node);
    if (!at)
        lastNode = node;
    return 0;
}

void Caption::findAt(uint32_t time)
{
    if (!current)
        current = entries;
    bool wentBack = false;
    while (current) {
        if (static_cast<CaptionEntry*>(current->data)->start > time) {
            current = current->prev;
            wentBack = true;
        } else if (wentBack) {
            break;
        } else {
            // A loaded track ends with the end marker; stopping at the last node keeps a track without one
            // answering its last entry instead of running off the list.
            if (!current->next)
                break;
            current = current->next;
        }
    }
}

const CaptionEntry* Caption::currentEntry() const
{
    return current ? static_cast<const CaptionEntry*>(current->data) : nullptr;
}

void Caption::unload()
{
    listClear(&entries);
    current = nullptr;
    lastNode = nullptr;
    if (comHeld) {
        CoUninitialize();
        comHeld = false;
    }
}

TextModeFile::TextModeFile(const char* path)
{
    if (!path)
        return;
    // Non-blocking so that opening a pipe with no writer cannot hang; regular files never block anyway.
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !(file = fdopen(fd, "rb")))
        ::close(fd);
}

TextModeFile::~TextModeFile()
{
    if (file)
        std::fclose(file);
}

int TextModeFile::rawGetc()
{
    if (pushedBack != EOF) {
        int c = pushedBack;
        pushedBack = EOF;
        return c;
    }
    int c = std::fgetc(file);
    if (c == EOF && std::ferror(file))
        readError = true;
    return c;
}

int TextModeFile::getc()
{
    if (!file || ended)
        return EOF;
    int c = rawGetc();
    if (c == 0x1A || c == EOF) {
        ended = true;
        return EOF;
    }
    if (c == '\r') {
        int next = rawGetc();
        if (next == '\n')
            return '\n';
        pushedBack = next;
    }
    return c;
}

bool TextModeFile::gets(char* buffer, int size)
{
    if (size <= 1)
        return false;
    int n = 0;
    while (n < size - 1) {
        int c = getc();
        if (c == EOF)
            break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    buffer[n] = '\0';
    return n > 0;
}

}
