// Protocol errors of the X display, logged and survived; the loss of the display itself, which ends
// the process, with what the user changed saved first.
#include "platform/kernel.h"
#include "platform/window/window_object.h"

#include <X11/Xlib.h>

#include <cstring>
#include <unistd.h>

namespace platform {

namespace {

// Xlib's own answer to any error is to end the process, and the settings with it. A window manager
// acts on our window at its own pace: a request can name a frame window it has destroyed meanwhile
// (SDL asks where the frame stands while the manager frames the window anew after a hide and show).
// Such a request only fails; the player goes on.
int logDisplayError(::Display* display, XErrorEvent* error)
{
    char text[160] = "";
    XGetErrorText(display, error->error_code, text, sizeof text);
    platformLog("X error ignored: %s (request %d.%d, resource 0x%lX)\n", text, error->request_code,
        error->minor_code, error->resourceid);
    return 0;
}

DisplayLostHandler displayLostHandler = nullptr;
pid_t handlerProcess = 0;

// The connection is gone (the server ended or was killed): Xlib ends the process once this returns.
// The handler saves without the display; a forked copy of the process (SDL's message box) saves nothing.
int endWithLostDisplay(::Display*)
{
    if (displayLostHandler && getpid() == handlerProcess) {
        DisplayLostHandler handler = displayLostHandler;
        displayLostHandler = nullptr;
        platformLog("The X display is gone.\n");
        handler();
    }
    // Not exit(): the decoder threads still run, and nothing else is left to tidy up.
    _exit(1);
}

}

void surviveDisplayErrors()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && !std::strcmp(driver, "x11")) {
        XSetErrorHandler(logDisplayError);
        XSetIOErrorHandler(endWithLostDisplay);
    }
}

void setDisplayLostHandler(DisplayLostHandler handler)
{
    displayLostHandler = handler;
    handlerProcess = getpid();
}

}
