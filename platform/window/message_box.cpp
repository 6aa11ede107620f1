// Message boxes on SDL2, or answered by script for automated runs.
#include "platform/dialog_signals.h"
#include "platform/kernel.h"
#include "platform/window/window_object.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type)
{
    bool yesNo = (type & 0xF) == MB_YESNO;
    const char* scripted = std::getenv("SUBLUMEN_MESSAGEBOX_ANSWER");
    if (scripted && *scripted) {
        int answer = IDOK;
        if (yesNo)
            answer = !std::strcmp(scripted, "yes") ? IDYES : IDNO;
        platform::platformLog("MessageBox \"%s\" answered %s by SUBLUMEN_MESSAGEBOX_ANSWER.\n", text ? text : "",
            answer == IDYES ? "Yes" : answer == IDNO ? "No" : "OK");
        return answer;
    }
    if (!platform::startVideo()) {
        // Nothing can be shown; standard error is the one place left where the user may read it.
        std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
        return 0;
    }
    SDL_MessageBoxButtonData okButtons[] = {
        { SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK, "OK" },
    };
    SDL_MessageBoxButtonData yesNoButtons[] = {
        { SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes" },
        { SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No" },
    };
    SDL_MessageBoxData box {};
    box.flags = (type & 0xF0) == MB_ICONWARNING ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_INFORMATION;
    WindowObject* window = platform::liveWindow(owner);
    box.window = window && window->visible ? window->sdl() : nullptr;
    box.title = caption ? caption : "";
    box.message = text ? text : "";
    box.numbuttons = yesNo ? 2 : 1;
    box.buttons = yesNo ? yesNoButtons : okButtons;
    int pressed = -1;
    platform::DialogSignalWatch watch;
    // A signal that came before the watch stood is already SDL's quit, waiting in the queue: the box would
    // then wait for an answer that nobody is to give.
    const bool endWaiting = SDL_QuitRequested();
    const bool shown = !endWaiting && !watch.endAsked() && SDL_ShowMessageBox(&box, &pressed) == 0;
    if (endWaiting || watch.endAsked()) {
        platform::platformLog("MessageBox \"%s\" closed: the program is asked to end.\n", box.message);
        return yesNo ? IDNO : IDOK;
    }
    if (!shown) {
        platform::platformLog("MessageBox \"%s\" could not be shown: %s\n", box.message, SDL_GetError());
        std::fprintf(stderr, "%s: %s\n", box.title, box.message);
        return 0;
    }
    if (pressed < 0)
        return yesNo ? IDNO : IDOK;
    return pressed;
}
