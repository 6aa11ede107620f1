// Scaling a picture for a screen larger or smaller than it, the way a monitor's scaler does: bilinear
// when enlarging, an area average when shrinking.
#pragma once

#include "platform/surface.h"
#include "platform/win32.h"

#include <cstdint>
#include <vector>

namespace platform {

// Scales sourceRect of source (within the surface) to fill target. Keeps its filter tables between
// calls, so one scaler per picture stream saves recomputing them each frame.
class PictureScaler {
public:
    void scale(ConstPixelView source, const RECT& sourceRect, PixelView target);

private:
    struct Tap {
        int first;
        int second;
        uint32_t weight;  // of the second, out of 256
    };
    void prepare(const RECT& sourceRect, int width, int height);
    void spreadRow(ConstPixelView source, int y, uint32_t* out);

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
