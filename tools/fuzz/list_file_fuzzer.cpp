// A movie-list file of any bytes (LIST_SUFFIX: ".slm" or ".ml") through the reader its name selects, then a
// walk over the items it gave.
#include "fuzz_support.h"

#include "media/movie_list.h"

#include <cstring>

using sublumen::ListNode;
using sublumen::MovieItem;

namespace {

bool terminatedWithin(const char (&text)[1024])
{
    return strnlen(text, sizeof text) < sizeof text;
}

}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzing::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // In a folder of its own, so that relative names are completed with a directory.
    static const std::string path = fuzzing::scratchFile("lists/input" LIST_SUFFIX);
    fuzzing::writeInput(path, data, size);

    sublumen::MovieList list;
    FUZZ_CHECK(sublumen::listKind(path.c_str()) == LIST_KIND);
    FUZZ_CHECK(sublumen::loadListFile(list, path.c_str()) == 0);
    FUZZ_CHECK(list.cursor == list.items);

    size_t forward = 0;
    const ListNode* previous = nullptr;
    for (const ListNode* node = list.items; node; node = node->next) {
        FUZZ_CHECK(node->prev == previous);
        const auto* item = static_cast<const MovieItem*>(node->data);
        FUZZ_CHECK(terminatedWithin(item->title));
        FUZZ_CHECK(terminatedWithin(item->movie));
        FUZZ_CHECK(terminatedWithin(item->caption));
        // Paths are opened on this system: backslashes were turned into slashes.
        FUZZ_CHECK(!std::strchr(item->movie, '\\'));
        FUZZ_CHECK(!std::strchr(item->caption, '\\'));
        previous = node;
        ++forward;
    }

    // The cursor walks the same items both ways and falls off each end to none.
    size_t stepped = list.cursorItem() ? 1 : 0;
    while (list.stepForward())
        ++stepped;
    FUZZ_CHECK(stepped == forward);
    FUZZ_CHECK(list.cursor == nullptr);
    // From past the end, the last item is found again.
    FUZZ_CHECK(list.stepToLast() == nodeData(previous));
    FUZZ_CHECK(list.cursor == previous);
    size_t back = previous ? 1 : 0;
    while (list.stepBack())
        ++back;
    FUZZ_CHECK(back == forward);
    return 0;
}
