#include "caption/caption.h"

#include "app/debug_log.h"
#include "caption/caption_formats.h"
#include "caption/picture_caption.h"
#include "caption/text_cues.h"
#include "platform/com.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sublumen {

uint64_t nextCaptionRevision()
{
    static std::atomic<uint64_t> last { 0 };
    return ++last;
}

Caption::Caption(const char* fileName)
{
    CoInitialize(nullptr);
    comHeld = true;
    entries = nullptr;
    current = nullptr;
    if (!fileName)
        return;

    // Pictures (a .sub of VobSub among them) are never read as text: the picture caption track reads them.
    const CaptionFormatRow& format = captionFormatOfFile(fileName);
    const int rc = format.read ? (this->*format.read)(fileName) : -1;
    loadResult = rc;
    if (rc < 0)
        debugLog("Caption:: load Fail %d.\n", rc);
    else
        debugLog("Caption:: %s text.\n", platform::encodingName(textEncoding));
}

Caption::~Caption()
{
    if (entries || comHeld)
        unload();
}

ListNode* Caption::newEntry(uint32_t start, const char* text)
{
    debugLog("%02d:%02d.%02d[%10u]:%s\n", start / 60000u, (start / 1000u) % 60u, (start % 1000u) / 10u, start, text);

    shownFrom.clear();
    revision = nextCaptionRevision();
    size_t textLength = std::strlen(text);
    size_t payload = sizeof(CaptionEntry) + textLength + 1;
    if (payload > INT32_MAX)
        return nullptr;
    ListNode* node = nodeCreate(static_cast<int32_t>(payload));
    if (!node)
        return nullptr;
    auto* entry = static_cast<CaptionEntry*>(node->data);
    entry->start = start;
    entry->text = reinterpret_cast<char*>(entry + 1);
    std::memcpy(entry->text, text, textLength + 1);
    return node;
}

namespace {

uint32_t startOf(const ListNode* node) { return static_cast<const CaptionEntry*>(node->data)->start; }

// Merges two runs linked by next alone, each in order; on equal starts the entries of the earlier run go first.
ListNode* mergeRuns(ListNode* earlier, ListNode* later)
{
    ListNode head {};
    ListNode* tail = &head;
    while (earlier && later) {
        ListNode*& taken = startOf(later) < startOf(earlier) ? later : earlier;
        tail->next = taken;
        tail = taken;
        taken = taken->next;
    }
    tail->next = earlier ? earlier : later;
    return head.next;
}

// Links node behind last, the list's last node, or makes it the only node of an empty list.
void linkLast(ListNode*& entries, ListNode*& last, ListNode* node)
{
    if (entries) {
        node->prev = last;
        last->next = node;
    } else {
        entries = node;
    }
    last = node;
}

}

int Caption::addEntry(uint32_t start, const char* text)
{
    ListNode* node = newEntry(start, text);
    if (!node)
        return -1;

    // Same place as the walk below would find, without the walk: files are nearly always in time order.
    if (!entries || (lastNode && !lastNode->next && startOf(lastNode) <= start)) {
        linkLast(entries, lastNode, node);
        return 0;
    }
    ListNode* at = entries;
    while (at && startOf(at) <= start)
        at = at->next;
    listInsertBefore(&entries, at, node);
    if (!at)
        lastNode = node;
    return 0;
}

int Caption::appendEntry(uint32_t start, const char* text)
{
    ListNode* node = newEntry(start, text);
    if (!node)
        return -1;
    if (entries) {
        if (!lastNode || lastNode->next) {
            lastNode = entries;
            while (lastNode->next)
                lastNode = lastNode->next;
        }
        if (startOf(lastNode) > start)
            unsorted = true;
    }
    linkLast(entries, lastNode, node);
    return 0;
}

void Caption::sortEntries()
{
    if (!unsorted)
        return;
    unsorted = false;
    // Bottom-up merge sort over the next links: bin k holds a sorted run of 2^k entries, all of which were
    // added before those of the lower bins, so merging keeps equal starts in the order they were added.
    ListNode* bins[64] = {};
    for (ListNode* node = entries; node;) {
        ListNode* run = node;
        node = node->next;
        run->next = nullptr;
        size_t k = 0;
        for (; bins[k]; ++k) {
            run = mergeRuns(bins[k], run);
            bins[k] = nullptr;
        }
        bins[k] = run;
    }
    ListNode* sorted = nullptr;
    for (ListNode* run : bins) {
        if (run)
            sorted = mergeRuns(run, sorted);
    }
    entries = sorted;
    ListNode* previous = nullptr;
    for (ListNode* node = entries; node; node = node->next) {
        node->prev = previous;
        previous = node;
    }
    lastNode = previous;
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
    unsorted = false;
    classes.clear();
    shownClass = defaultClass = 0;
    shownFrom.clear();
    revision = nextCaptionRevision();
    authored.reset();
    pictures.reset();
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
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return;
    }
    if (static_cast<uint64_t>(info.st_size) > maximumSize) {
        debugLog("%s : larger than %u bytes, not read.\n", path, static_cast<unsigned>(maximumSize));
        ::close(fd);
        return;
    }
    std::string bytes;
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            // What was read is still used, as a read error ends the input like its end.
            readError = true;
            break;
        }
        if (n == 0 || bytes.size() + static_cast<size_t>(n) > maximumSize)
            break;
        bytes.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    decided = platform::decideFileEncoding(std::move(bytes));
    if (decided.oddByteDropped)
        debugLog("%s : odd length for %s, last byte dropped.\n", path, platform::encodingName(decided.encoding));
    opened = true;
}

int TextModeFile::rawGetc()
{
    if (pushedBack != EOF) {
        int c = pushedBack;
        pushedBack = EOF;
        return c;
    }
    if (position >= decided.bytes.size())
        return EOF;
    return static_cast<unsigned char>(decided.bytes[position++]);
}

int TextModeFile::getc()
{
    if (!opened || ended)
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
