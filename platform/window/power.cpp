#include "platform/power.h"

#include "platform/window/display_server.h"
#include "platform/window/window_object.h"

EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE state)
{
    if (!platform::startVideo())
        return 0;
    const EXECUTION_STATE before = ES_CONTINUOUS | (platform::screenSaverEnabled() ? 0 : ES_DISPLAY_REQUIRED);
    if (state & ES_CONTINUOUS) {
        const bool awake = (state & ES_DISPLAY_REQUIRED) != 0;
        // Only a change reaches the display server.
        if (awake && platform::screenSaverEnabled())
            platform::disableScreenSaver();
        else if (!awake && !platform::screenSaverEnabled())
            platform::enableScreenSaver();
    }
    return before;
}

namespace platform {

bool screenKeptAwake()
{
    return startVideo() && !platform::screenSaverEnabled();
}

}
