// One movie of the movie list.
#pragma once

#include "platform/gdi/text_decoding.h"

#include <cstdint>
#include <string>

namespace sublumen {

struct MovieItem {
    char title[1024];
    char movie[1024];
    char caption[1024];
    int32_t timeshift;
    // How the title's bytes are to be read when it is shown; Guess for a title of no list file.
    platform::TextEncoding titleEncoding;
};

// The item's title as UTF-8, for drawing it and for the desktop; the item itself keeps its file's bytes.
std::string shownTitle(const MovieItem& item);
}
