// One display device reported by the DirectDraw enumeration.
#pragma once

#include "platform/win32.h"

namespace sublumen {

struct DisplayDevice {
    char driverName[256];
    char description[256];
    GUID guid;
};

}
