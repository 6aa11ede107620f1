// Input fed to the window layer as SDL events, exactly as a user's input arrives: for automated
// checks of the message translation and for driving the player without a keyboard.
#pragma once

#include "platform/win32.h"

#include <initializer_list>

namespace platform {

enum class KeyAction { Press, Release };
enum KeyModifier : unsigned { NoModifier = 0, AltHeld = 1, ControlHeld = 2, ShiftHeld = 4 };
enum class MouseButton { Left, Right, Middle };

// A key by its SDL key name ("A", "Return", "Keypad +", "F1", "`"); false for an unknown name.
bool injectKey(HWND window, const char* keyName, KeyAction action, unsigned modifiers = NoModifier);
// Mouse input at physical window coordinates.
bool injectMouseMove(HWND window, int x, int y);
bool injectMouseButton(HWND window, MouseButton button, KeyAction action, int x, int y);
bool injectFocus(HWND window, bool gained);
bool injectCloseRequest(HWND window);
bool injectExpose(HWND window);
// Files dropped on the window, in one drop, as a file manager drops them.
bool injectDrop(HWND window, std::initializer_list<const char*> files);
// The whole application is asked to quit, as SIGINT or a session end do.
bool injectQuit();
// The renderer reports that its targets were reset.
bool injectRenderTargetsReset();

}
