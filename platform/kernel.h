// Kernel services the system calls: module file, directories, debugger output, sleeping, access tests.
#pragma once

#include "platform/win32.h"

// Sends a text to the debugger output: standard error when SUBLUMEN_DEBUG_OUTPUT is set, else nowhere.
void OutputDebugStringA(const char* text);

// The module file's full path into buffer (the program file, from /proc/self/exe, for the null
// instance); returns its length, 0 on failure.
DWORD GetModuleFileNameA(HINSTANCE instance, char* buffer, DWORD size);

// $SUBLUMEN_SYSTEM_DIR into buffer; returns its length, 0 when the system has no such directory.
UINT GetSystemDirectoryA(char* buffer, UINT size);

// The current directory into buffer; its length, or the size needed (terminator included) when it
// does not fit, or 0 when it cannot be had (a directory that was removed).
DWORD GetCurrentDirectoryA(DWORD size, char* buffer);
BOOL SetCurrentDirectoryA(const char* path);

// The C runtime's rename as the system knows it: 0 on success, -1 when it cannot be done, including
// when the new name already exists (an existing file is never replaced).
int renameFile(const char* from, const char* to);

void Sleep(DWORD milliseconds);

// Read-access test (mode 4) or existence test (mode 0); 0 when granted, -1 otherwise.
int _access(const char* path, int mode);

struct WIN32_FIND_DATAA {
    char cFileName[260];
};
using HANDLE = void*;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(-1);

// The first file, in name order, whose name matches the file-name part of pattern (after its last
// "/"), its bare name in data; INVALID_HANDLE_VALUE when nothing matches. Only "*" and "?" are
// wildcards; every other character, brackets and backslashes included, matches itself.
HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data);
BOOL FindClose(HANDLE find);

// Calendar time in whole seconds, as the C library's time() gives it.
uint32_t calendarSeconds();

namespace platform {

// The instance of a module known by its file path, which GetModuleFileNameA answers; lets a component
// run as if its program file lay elsewhere. The handle stays valid for the life of the process.
HINSTANCE moduleInstance(const char* path);

// Where the platform's own diagnostics go; the system points this at its debug log at start-up.
using LogSink = void (*)(const char* text);
void setLogSink(LogSink sink);
// printf-style diagnostic of the platform layer; dropped when no sink is set.
void platformLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Puts the calling thread below everything else of the process: its niceness 19 above the thread that
// made it (at most 19), so that background work yields to the picture and the sound on every core.
void lowerThreadPriority();

// Where calendarSeconds reads the time; null restores the C library's clock. Tests that follow time
// in whole seconds set their own.
using CalendarClock = uint32_t (*)();
void setCalendarClock(CalendarClock clock);

}
