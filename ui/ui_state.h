// The groups of the system record that the window procedure and the keyboard commands own.
#pragma once

#include "platform/win32.h"

#include <cstdint>

namespace sublumen {

// Main window.
struct WindowState {
    HWND mainWindow = nullptr;
    uint32_t lastMouseTime = 0;
};

enum PictureFlag : int32_t { EnhanceImage = 1, FlipVertical = 4 };

// Keyboard commands and volume.
struct CommandState {
    int32_t volume = 0;
    int32_t pictureFlags = 0;
};

}
