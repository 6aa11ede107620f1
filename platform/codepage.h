// Code page conversions between byte strings and wide (UTF-16LE) text. The platform's ANSI code page,
// CP_ACP, is UTF-8 here, so CP_ACP and CP_UTF8 convert the same way.
#pragma once

#include "platform/win32.h"

#include <cstddef>

using WCHAR = uint16_t;

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;

// UTF-16 code units (wideCount of them, or through the terminating NUL when -1) to UTF-8 bytes.
// Unpaired surrogates become U+FFFD. With multiSize 0 returns the bytes needed and writes nothing;
// otherwise returns the bytes written, or 0 when they do not fit (the output is then not terminated
// and its contents are not defined), the code page is not CP_ACP or CP_UTF8, or an argument is bad.
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* wide, int wideCount, char* multi, int multiSize,
    const char* defaultChar, BOOL* usedDefaultChar);

// UTF-8 bytes (multiCount of them, or through the terminating NUL when -1) to UTF-16 code units. Each
// maximal ill-formed byte sequence becomes one U+FFFD. With wideSize 0 returns the units needed;
// otherwise the units written, or 0 when they do not fit or on a bad code page or argument.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* multi, int multiCount, WCHAR* wide, int wideSize);

namespace platform {

// Whether text[0..length) is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isValidUtf8(const char* text, size_t length);

}
