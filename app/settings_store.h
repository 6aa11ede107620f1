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

int regReadDword(HKEY key, const char* name, int32_t* out);
int regReadString(HKEY key, const char* name, char* buffer, DWORD limit);
int regWriteDword(HKEY key, const char* name, int32_t value);
int regWriteString(HKEY key, const char* name, const char* text, DWORD length);

// The banner text: "Sublumen #37" followed by the author credit; logged, saved as `message`, shown
// by the overlay.
extern const char bannerText[];

}
