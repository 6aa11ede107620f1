// The caption track of the playing movie: every caption of one caption file in ascending order of start
// time, with the position of the last lookup remembered so that the per-frame lookup costs almost nothing.
#pragma once

#include "caption/node_list.h"
#include "platform/win32.h"

#include <cstdint>
#include <cstdio>

namespace sublumen {

// The payload of one node of a Caption: the start and the entry's own copy of its text, which follows.
struct CaptionEntry {
    uint32_t start;
    char* text;
};

// The start of the entry that ends every successfully loaded track.
constexpr uint32_t endMarker = 4294967295u;

class Caption {
public:
    // Loads the track from fileName (none gives an empty track), choosing the reader by the name's last
    // four characters: ".ASF" the ASF script, ".SUB" the SUB reader, anything else SAMI.
    explicit Caption(const char* fileName);
    ~Caption();
    Caption(const Caption&) = delete;
    Caption& operator=(const Caption&) = delete;

    // Adds an entry after every entry whose start is not greater; 0, or -1 without memory.
    int addEntry(uint32_t start, const char* text);
    // Moves current to the last entry whose start is not greater than time (none before the first).
    void findAt(uint32_t time);
    // Draws the entry in force at time into the band (x, y, width, height) of dc with the style bits.
    void draw(uint32_t time, HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, int32_t style);
    // Frees every entry and ends the COM use begun by the constructor.
    void unload();

    int loadSMI(const char* fileName);
    int loadSub(const char* fileName);
    int loadASFscript(const char* fileName);

    ListNode* entries = nullptr;
    ListNode* current = nullptr;
    // The reader's result code from construction: 0, or the negative code logged as a load failure.
    int loadResult = 0;

    // The entry under current, or none.
    const CaptionEntry* currentEntry() const;

private:
    // The readers' way of building a whole track: appendEntry logs and keeps every entry in the order
    // read, and sortEntries then puts the track in the order that addEntry one by one would have given
    // (a stable sort by start), in O(n log n) however hostile the order of the file.
    int appendEntry(uint32_t start, const char* text);
    void sortEntries();
    ListNode* newEntry(uint32_t start, const char* text);

    bool comHeld = false;
    // The last node of entries, so that entries in time order are added without a walk.
    ListNode* lastNode = nullptr;
    // Set when appendEntry put an entry behind one that starts later.
    bool unsorted = false;
};

// A C stdio stream opened the way the readers open their files in text mode ("rt"): a carriage return
// right before a line feed is dropped and a Ctrl-Z byte ends the input. Only regular files open, so a
// folder or a pipe is refused instead of read forever.
class TextModeFile {
public:
    explicit TextModeFile(const char* path);
    ~TextModeFile();
    TextModeFile(const TextModeFile&) = delete;
    TextModeFile& operator=(const TextModeFile&) = delete;

    bool isOpen() const { return file != nullptr; }
    // Skips a UTF-8 byte-order mark at the start of the file; call before the first read. Editors put it
    // in front of the first line, where it would hide a time or a marker from the readers.
    void skipByteOrderMark();
    // The next byte, or EOF at the end of the input, at a Ctrl-Z, or after a read error.
    int getc();
    // fgets semantics over the translated bytes: at most size-1 bytes, up to and including a line feed.
    // Returns false when nothing could be read.
    bool gets(char* buffer, int size);
    bool failed() const { return readError; }

private:
    int rawGetc();
    FILE* file = nullptr;
    int pushedBack = EOF;
    bool ended = false;
    bool readError = false;
};

}
