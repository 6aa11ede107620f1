// COM start and end. Nothing on this platform needs COM, so both only keep the balance of calls,
// which tests can read.
#pragma once

#include "platform/win32.h"

HRESULT CoInitialize(void* reserved);
void CoUninitialize();

namespace platform {
// Number of CoInitialize calls not yet matched by CoUninitialize.
int comInitCount();
}
