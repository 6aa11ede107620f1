#include "platform/com.h"

namespace platform {
static int initCount = 0;
int comInitCount() { return initCount; }
}

HRESULT CoInitialize(void*)
{
    return platform::initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (platform::initCount > 0)
        --platform::initCount;
}
