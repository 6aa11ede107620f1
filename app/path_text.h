// Bounded text copies and path splitting shared by every subsystem.
#pragma once

#include <cstddef>

namespace sublumen {

// Copies at most n-1 characters of source into destination and always terminates it (n > 0).
// Returns destination.
char* boundedCopy(char* destination, const char* source, size_t n);

// Copies path into output (of outputSize bytes, bounded) and cuts it at its last backslash or slash,
// the separator removed; a path with neither becomes empty. Returns the new length.
int directoryOf(const char* path, char* output, size_t outputSize = 1024);

// Makes a relative path (one that does not begin with a slash) absolute by putting base and a
// slash in front of it, when the result fits into size bytes. True when path is absolute afterwards;
// an empty path, an empty base and a result too long leave path as it was.
bool makeAbsolute(char* path, size_t size, const char* base);

// The current directory into buffer (size bytes); the empty string when it cannot be had or does not
// fit.
void currentDirectory(char* buffer, size_t size);

// True for the two characters that separate path components on this system.
constexpr bool isPathSeparator(char c) { return c == '\\' || c == '/'; }

}
