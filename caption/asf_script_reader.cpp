#include "app/debug_log.h"
#include "caption/caption.h"

namespace sublumen {

// FIXME: the ASF script reader is not written yet; an ASF file reads as a failed load.
int Caption::loadASFscript(const char* fileName)
{
    debugLog("Caption::loadASFscript( \"%s\" )\n", fileName);
    return -2;
}

}
