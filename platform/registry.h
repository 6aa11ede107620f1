// The registry as the settings store uses it: one key, Software\Sublumen under HKEY_CURRENT_USER, with
// typed values (DWORD, string, or any other type as raw bytes). On this platform the key is the file
// $XDG_CONFIG_HOME/sublumen/settings (default ~/.config/sublumen/settings), read when the key is opened
// and replaced atomically when a changed key is closed, so an interrupted save keeps the old values.
// A file that cannot be read or parsed is logged once and treated as a missing key. A file that could not
// be read is never replaced; one that was read but is damaged is copied to settings.unusable before the
// first save replaces it.
#pragma once

#include "platform/win32.h"

#include <string>

struct RegistryKey;
using HKEY = RegistryKey*;

extern HKEY const HKEY_CURRENT_USER;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;

constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens an existing key; ERROR_FILE_NOT_FOUND when its file is missing or unusable.
LONG RegOpenKeyExA(HKEY parent, const char* subKey, DWORD options, DWORD access, HKEY* result);
// Opens the key, creating it (and its folder) when missing; disposition tells which happened.
LONG RegCreateKeyExA(HKEY parent, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
    DWORD access, void* security, HKEY* result, DWORD* disposition);
// Copies a value's data into data (*size bytes available); ERROR_MORE_DATA when it does not fit, with
// *size set to the needed size. A null data asks for the size only.
LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
// Sets a value in the open key; the key's file is written when the key is closed.
LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
// Closes the key, first replacing its file when values were set; returns the write's result.
LONG RegCloseKey(HKEY key);

namespace platform {
// The file that holds the key Software\Sublumen.
std::string settingsFilePath();
}
