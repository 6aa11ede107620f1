// The movies to play, in file order, with the one that is selected, and the two movie-list file
// formats that fill them: ".slm" (items opened by an "@" title line) and ".ml" (items opened by a bare
// movie-path line).
#pragma once

#include "caption/node_list.h"
#include "media/movie_item.h"

#include <cstdint>

namespace sublumen {

struct MovieList {
    MovieList() = default;
    ~MovieList() { clearList(); }
    MovieList(const MovieList&) = delete;
    MovieList& operator=(const MovieList&) = delete;

    // Appends bounded copies of the texts with the time shift and the title's encoding, puts the cursor
    // on the new item and logs it as it is (the texts' own bytes); 0, or -1 without memory (nothing
    // appended, the cursor none).
    int addItem(const char* title, const char* movie, const char* caption, int32_t timeshift,
        platform::TextEncoding titleEncoding = platform::TextEncoding::Guess);
    // Puts the cursor on the first item, none when the list is empty. Returns 0.
    int rewind();
    // The item under the cursor, or none.
    MovieItem* cursorItem() const;
    // Moves to the next item; from the last one, or from none, the cursor becomes none.
    MovieItem* stepForward();
    // Moves to the previous item; from the first one, or from none, the cursor becomes none.
    MovieItem* stepBack();
    // Frees every item; the cursor becomes none. Returns 0.
    int clearList();
    // Puts the cursor on the last item (none when the list is empty) and returns it.
    MovieItem* stepToLast();

    ListNode* items = nullptr;
    ListNode* cursor = nullptr;

private:
    // The last node of items, so that appending never walks the list: long lists load in linear time.
    ListNode* last = nullptr;
};

// 1 for a ".slm" list path, 2 for a ".ml" one, 0 for anything else (a single movie).
int listKind(const char* path);

// Reads the list file at path with the reader its kind names; the reader's result.
int loadListFile(MovieList& list, const char* path);

// Each appends the items of the file at path and rewinds: 0, or -1 when the file cannot be opened
// (the list and its cursor are then left as they were).
int readSlmList(MovieList& list, const char* path);
int readMlList(MovieList& list, const char* path);

// The first character of text that is not in set (the terminating NUL when all are).
const char* skipChars(const char* text, const char* set);

}
