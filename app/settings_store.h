// Loading and saving Settings under the key Software\Sublumen of the current user.
#pragma once

#include "platform/registry.h"

#include <cstdint>

namespace sublumen {

struct System;

// Reads the settings once at start-up; 0, or -1 when the key cannot be opened (defaults stay).
int loadSettings(System& sys);
// Writes the settings once at shutdown; 0, or -1 when the key can be neither opened nor created.
int saveSettings(System& sys);

// Reads at most 4 bytes of the value into out, whatever its type; 0, or -1 (out unchanged) when the value is
// missing or longer than 4 bytes.
int regReadDword(HKEY key, const char* name, int32_t* out);
// Reads at most limit bytes and terminates them (buffer holds limit + 1 bytes); 0, or -1 with buffer emptied.
int regReadString(HKEY key, const char* name, char* buffer, DWORD limit);
// Writes a REG_DWORD of 4 bytes; 0 or -1.
int regWriteDword(HKEY key, const char* name, int32_t value);
// Writes a REG_SZ of length + 1 bytes, the terminator included (0 means the text's own length); 0 or -1.
int regWriteString(HKEY key, const char* name, const char* text, DWORD length);

// The banner text: "Sublumen #37" followed by the author credit; logged, saved as `message`, shown
// by the overlay.
extern const char bannerText[];

}
