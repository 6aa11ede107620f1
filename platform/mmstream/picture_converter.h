// Decoded pictures into surfaces with libswscale, and the picture handed out unconverted.
#pragma once

#include "platform/mmstream/ffmpeg_support.h"
#include "platform/mmstream/sample_target.h"
#include "platform/surface.h"

#include <array>
#include <memory>

namespace platform {

struct ScalerDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using ScalerHandle = std::unique_ptr<SwsContext, ScalerDeleter>;

// Keeps its libswscale context while the sizes and formats stay.
class PictureConverter {
public:
    // Converts frame into the width × height rectangle of target at (x, y), scaled to that size.
    bool convert(const AVFrame& frame, PixelView target, int x, int y, int width, int height);

private:
    ScalerHandle scaler_;
    std::array<int, 6> key_ {};  // source size and format, output size and format
    int colorSpace_ = -1;
    int range_ = -1;
    bool loggedError_ = false;
};

// A delivered picture that is converted where it is shown: into its sample when the sample's pixels
// are needed, or straight into the surface it is copied to when that copy would change nothing.
class FfmpegPicture final : public PendingPicture {
public:
    FfmpegPicture(FrameHandle frame, std::shared_ptr<PictureConverter> converter)
        : frame_(std::move(frame))
        , converter_(std::move(converter))
    {
    }

    bool convertInto(PixelView target, int x, int y, int width, int height) override;

private:
    FrameHandle frame_;
    std::shared_ptr<PictureConverter> converter_;
};

}
