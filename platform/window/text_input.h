// Typed text and the clipboard. Text typed with the desktop's input method reaches the window as
// WM_CHAR, one message per byte of its UTF-8 (the platform's code page); the text the input method is
// still composing (a Hangul syllable being typed) as WM_IME_COMPOSITION, whose text compositionText
// gives.
#pragma once

#include "platform/window/window.h"

#include <string>

namespace platform {

// Makes sure typed text arrives; endTextInput puts back what was in force before. Nests.
void beginTextInput();
void endTextInput();
// The text being composed now (UTF-8), empty when nothing is.
std::string compositionText();

// The outcome of putting text on the desktop's clipboard and its primary selection.
struct ClipboardCopy {
    bool clipboard = false;
    bool primary = false;
    // Why the clipboard refused, for the log; empty when it took the text.
    std::string reason;
};

// Puts UTF-8 text on the clipboard and the primary selection; the player then offers it to whoever
// asks, as long as it runs (or until something else is copied).
ClipboardCopy copyToClipboard(const std::string& text);

}
