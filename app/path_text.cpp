#include "app/path_text.h"

#include "platform/kernel.h"

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

bool makeAbsolute(char* path, size_t size, const char* base)
{
    if (!path[0])
        return false;
    // Only a slash anchors a path for the operating system; a leading backslash is part of a name.
    if (path[0] == '/')
        return true;
    if (!base || !base[0])
        return false;
    // "./" in front names the base itself; dropped, so the path reads as a person would write it.
    size_t dots = 0;
    while (path[dots] == '.' && path[dots + 1] == '/') {
        dots += 2;
        while (path[dots] == '/')
            ++dots;
    }
    if (!path[dots])
        return false;
    size_t baseLength = std::strlen(base);
    // A base of "/" needs no second slash.
    size_t joint = base[baseLength - 1] == '/' ? 0 : 1;
    size_t pathLength = std::strlen(path + dots);
    if (baseLength + joint + pathLength >= size)
        return false;
    std::memmove(path + baseLength + joint, path + dots, pathLength + 1);
    std::memcpy(path, base, baseLength);
    if (joint)
        path[baseLength] = '/';
    return true;
}

void currentDirectory(char* buffer, size_t size)
{
    DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(size), buffer);
    if (n == 0 || n >= size)
        buffer[0] = '\0';
}

}
