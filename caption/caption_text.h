// Caption markup: the recognised tags and entities, and the clean-up of a caption's text.
#pragma once

namespace sublumen {

struct TagRow {
    const char* name;
    char replacement;  // 0: the tag vanishes.
};

struct EntityRow {
    const char* name;
    char replacement;
};

// In search order.
extern const TagRow tagTable[9];
extern const EntityRow entityTable[1];

// The first row of tagTable whose name (in any case) starts text and is followed by close; null when none.
const TagRow* findTag(const char* text, char close);
// When in is at an opening bracket followed by a known tag and close, writes the tag's replacement (if
// any) at out and moves in past the close; false, moving nothing, otherwise.
bool replaceTag(const char*& in, char*& out, char close);

// Cleans a NUL-terminated caption text in place: percent escapes, entities and bare tags decoded, then
// every run of spaces and tabs made one space. The result is never longer than the input.
void filterCaptionText(char* text);

}
