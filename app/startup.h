// Bringing the whole system up from the command-line tail, and taking it down again.
#pragma once

#include "platform/win32.h"

#include <cstddef>

namespace sublumen {

struct System;

// 0 on success; -1 dialog cancelled or window failed, -2 display set-up failed, -11 start file not
// readable, -12 movie list not built.
int initAll(System& sys, const char* commandTail);
// Saves the settings and releases everything that exists; safe after a start-up that failed anywhere.
void deinitAll(System& sys);

// The directory of the program file into buffer (size bytes); its length, or 0 when the module path
// cannot be read (buffer unchanged).
int findProgramDir(HINSTANCE instance, char* buffer, size_t size);
// Replaces path by the first file its name matches (wildcards resolved, the name as stored on disk).
void resolveFoundName(char (&path)[1024]);
// Fills startPath from the command-line tail (its quote rules); false when the tail is empty.
bool startPathFromTail(const char* tail, char (&startPath)[1024]);
int queryOverlaySupport(System& sys);
void releaseMovieObjects(System& sys);
void releaseDisplay(System& sys);

}
