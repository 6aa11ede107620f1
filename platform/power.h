// Whether the display may sleep: the system keeps it awake while a movie plays.
#pragma once

#include "platform/win32.h"

using EXECUTION_STATE = DWORD;
constexpr EXECUTION_STATE ES_SYSTEM_REQUIRED = 0x00000001;
constexpr EXECUTION_STATE ES_DISPLAY_REQUIRED = 0x00000002;
constexpr EXECUTION_STATE ES_CONTINUOUS = 0x80000000;

// ES_CONTINUOUS | ES_DISPLAY_REQUIRED keeps the screen awake (no screen saver, no blanking) until
// ES_CONTINUOUS alone lets it sleep again. Returns the state before, 0 when video cannot be used.
EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE state);

namespace platform {

// True while the screen is kept awake.
bool screenKeptAwake();

}
