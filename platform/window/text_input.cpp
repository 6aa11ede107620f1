#include "platform/window/text_input.h"

#include "platform/window/window_registry.h"

#include <SDL.h>

namespace platform {

namespace {

struct TextInputState {
    int depth = 0;
    bool wasActive = false;
};

TextInputState& textInputState()
{
    static TextInputState state;
    return state;
}

}

void beginTextInput()
{
    TextInputState& s = textInputState();
    if (s.depth++ > 0 || !windowRegistry().started)
        return;
    s.wasActive = SDL_IsTextInputActive() == SDL_TRUE;
    if (!s.wasActive)
        SDL_StartTextInput();
}

void endTextInput()
{
    TextInputState& s = textInputState();
    if (s.depth == 0 || --s.depth > 0)
        return;
    windowRegistry().composition.clear();
    if (windowRegistry().started && !s.wasActive)
        SDL_StopTextInput();
}

std::string compositionText()
{
    return windowRegistry().composition;
}

ClipboardCopy copyToClipboard(const std::string& text)
{
    ClipboardCopy copy;
    if (!windowRegistry().started) {
        copy.reason = "no display";
        return copy;
    }
    copy.clipboard = SDL_SetClipboardText(text.c_str()) == 0;
    if (!copy.clipboard)
        copy.reason = SDL_GetError();
    copy.primary = SDL_SetPrimarySelectionText(text.c_str()) == 0;
    return copy;
}

}
