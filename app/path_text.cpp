#include "app/path_text.h"

#include <cstring>

namespace sublumen {

char* boundedCopy(char* destination, const char* source, size_t n)
{
    if (n == 0)
        return destination;
    size_t length = source ? strnlen(source, n - 1) : 0;
    if (length)
        std::memmove(destination, source, length);
    destination[length] = '\0';
    return destination;
}

int directoryOf(const char* path, char* output, size_t outputSize)
{
    boundedCopy(output, path, outputSize);
    char* cut = nullptr;
    for (char* p = output; *p; ++p) {
        if (isPathSeparator(*p))
            cut = p;
    }
    if (cut)
        *cut = '\0';
    else
        output[0] = '\0';
    return static_cast<int>(std::strlen(output));
}

}
