// filterCaptionText on any text, in a buffer of exactly the text's size so that a read or write past its
// terminator is caught.
#include "fuzz_support.h"

#include "caption/caption_text.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzing::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The routine takes a terminated text: the input up to its first NUL byte.
    size_t length = strnlen(reinterpret_cast<const char*>(data), size);
    auto text = std::make_unique<char[]>(length + 1);
    std::memcpy(text.get(), data, length);
    text[length] = '\0';

    sublumen::filterCaptionText(text.get());

    size_t filtered = std::strlen(text.get());
    FUZZ_CHECK(filtered <= length);
    // Every run of blanks, decoded ones included, became one space.
    FUZZ_CHECK(!std::strchr(text.get(), '\t'));
    FUZZ_CHECK(!std::strstr(text.get(), "  "));
    return 0;
}
