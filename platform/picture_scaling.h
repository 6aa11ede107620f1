// Scaling a picture for a screen larger or smaller than it, the way a monitor's scaler does: bilinear
// when enlarging, an area average when shrinking.
#pragma once

#include "platform/surface.h"
#include "platform/win32.h"

#include <cstdint>
#include <vector>

namespace platform {

// Pixels that belong to someone else (a window's framebuffer), top row first.
struct PixelTarget {
    uint8_t* pixels = nullptr;
    int pitch = 0;
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::XRGB8888;
};

// Scales sourceRect of source (within the surface) to fill target. Keeps its filter tables between
// calls, so one scaler per picture stream saves recomputing them each frame.
class PictureScaler {
public:
    void scale(const Surface& source, const RECT& sourceRect, const PixelTarget& target);

private:
    struct Tap {
        int first;
        int second;
        uint32_t weight;  // of the second, out of 256
    };
    void prepare(const RECT& sourceRect, int width, int height);
    void spreadRow(const Surface& source, int y, uint32_t* out);

    RECT preparedSource_ {};
    int preparedWidth_ = 0;
    int preparedHeight_ = 0;
    std::vector<Tap> columns_;
    std::vector<Tap> rows_;
    // Each column's weight halved, four times over: one per colour lane of the vector blend.
    std::vector<uint16_t> columnWeights_;
    // Two source rows widened to the target's width, and which source rows they hold.
    std::vector<uint32_t> spread_[2];
    int spreadRow_[2] = { -1, -1 };
    std::vector<uint32_t> unpacked_;
    Surface shrunk_;
};

}
