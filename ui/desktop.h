// What the desktop sees of the player: its object on the session bus, through which the media keys,
// the sound menu and tools such as playerctl control it as the keys do, and whether the screen may sleep.
#pragma once

#include "platform/win32.h"

#include <string>

namespace sublumen {

struct System;

// The message that tells the window procedure that calls from the bus wait.
constexpr UINT WM_DESKTOPCALLS = 0x8000 + 1;

// Publishes the player on the session bus; without a session bus one log line and nothing else.
void openDesktopControls(System& sys);
// Answers the calls that wait (in the window procedure, on WM_DESKTOPCALLS).
void serveDesktopControls(System& sys);
// Once per idle turn: the screen stays awake while a movie plays and may sleep while it is paused
// or the end screen shows; listeners on the bus hear of a new movie or a changed playback status.
void noteDesktopState(System& sys);
// Leaves the session bus.
void closeDesktopControls(System& sys);

// The movie's address as the desktop writes it: file:// and the path with reserved bytes escaped.
std::string fileUrl(const char* path);
// The path a file:// address (no host or localhost) names, its escapes turned back into bytes; false for
// any other address and for an escape that is broken or stands for a NUL.
bool pathOfFileUrl(const char* url, std::string& path);

}
