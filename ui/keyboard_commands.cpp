#include "ui/keyboard_commands.h"

#include "app/debug_log.h"

namespace sublumen {

// FIXME: the command table is not connected yet; every key only logs its code.
int onKeyDown(System&, int virtualKey)
{
    debugLog("KeyDown=0x%02X\n", virtualKey);
    return 0;
}

}
