// Which part of the movie picture goes to which part of the screen.
#pragma once

#include <cstdint>

namespace sublumen {

struct System;

struct VideoPlacement {
    int32_t srcX = 0;
    int32_t srcY = 0;
    int32_t srcWidth = 640;
    int32_t srcHeight = 480;
    int32_t dstX = 0;
    int32_t dstY = 0;
    int32_t dstWidth = 640;
    int32_t dstHeight = 480;
};

// The values of the fitmode setting, which is stored and compared as a number.
namespace FitMode {
enum Value : int32_t { LetterBox = 0, LetterBox2 = 1, PanScan = 2, Full = 3 };
}
extern const char* const fitModeNames[4];

// Rewrites sys.videoPlacement from the screen size, fitmode and the current stream's picture size.
void computeVideoPlacement(System& sys);

}
