// The single-key commands of the player.
#pragma once

namespace sublumen {

struct System;

// Handles one key-down message with its virtual-key code; always 0.
int onKeyDown(System& sys, int virtualKey);

}
