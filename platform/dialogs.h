// The common file-open dialog. The desktop's own chooser answers it: zenity, else kdialog, run as a
// child process with an argument vector. SUBLUMEN_FILE_CHOOSER may name another program to run in
// their place; it is given zenity's arguments and answers the way zenity does (the chosen path on
// standard output and exit status 0, any other status for a cancellation).
#pragma once

#include "platform/win32.h"

using LPOFNHOOKPROC = uintptr_t (*)(HWND, UINT, WPARAM, LPARAM);

struct OPENFILENAMEA {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    const char* lpstrFilter;
    char* lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;
    char* lpstrFile;
    DWORD nMaxFile;
    char* lpstrFileTitle;
    DWORD nMaxFileTitle;
    const char* lpstrInitialDir;
    const char* lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    const char* lpstrDefExt;
    LPARAM lCustData;
    LPOFNHOOKPROC lpfnHook;
    const char* lpTemplateName;
};

// The record's size as callers written before the extension fields state it.
constexpr DWORD OPENFILENAME_SIZE_VERSION_400A = 76;

constexpr DWORD OFN_SHOWHELP = 0x00000010;
constexpr DWORD OFN_EXPLORER = 0x00080000;

// Shows the file-open dialog in lpstrInitialDir (the current directory when none) with lpstrTitle.
// Non-zero when a file was picked: lpstrFile then holds its full path, nFileOffset and nFileExtension
// point into it, and lpstrFileTitle (when given) holds its name. 0 on cancel, on failure, when the path
// does not fit into nMaxFile characters and when no chooser is installed (the last two are logged).
// The filter fields are not shown: every file is listed.
BOOL GetOpenFileNameA(OPENFILENAMEA* record);
