#include "app/debug_log.h"
#include "caption/caption.h"

namespace sublumen {

// FIXME: the SUB reader is not written yet; a .sub file reads as a failed load.
int Caption::loadSub(const char* fileName)
{
    debugLog("Caption::loadSub( \"%s\" )\n", fileName);
    return -2;
}

}
