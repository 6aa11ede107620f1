// Picture caption benchmark: blending one 1080p PGS-sized caption (two lines, 1400 × 72 and 960 × 72,
// like dialogue: mostly clear, opaque glyph fill, semi-transparent edges) onto a 1920 × 1080 back
// surface, as every composed frame does while it is shown, in 32 and 16 bits; and the one-time cost of
// scaling it when it appears or the placement changes (to a 1280 × 720 window). Prints milliseconds of
// CPU time per frame, the median of several rounds.
//
//   picture_caption_bench [rounds]
#include "caption/picture_caption.h"
#include "tools/common/bench_timing.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

platform::CaptionBitmap line(int x, int y, int width, int height)
{
    platform::CaptionBitmap b;
    b.x = x;
    b.y = y;
    b.width = width;
    b.height = height;
    b.palette = { 0, 0xFFF0F0F0, 0x80202020 };
    std::vector<uint8_t> indices(static_cast<size_t>(width) * height);
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            // Glyph-like strokes 6 pixels wide every 14, rows 12..60, with a soft edge on either side.
            int phase = (col + row / 3) % 14;
            bool inRows = row >= 12 && row < 60;
            uint8_t index = 0;
            if (inRows && phase >= 4 && phase < 10)
                index = 1;
            else if (inRows && (phase == 3 || phase == 10))
                index = 2;
            indices[static_cast<size_t>(row) * width + col] = index;
        }
    int beyond = 0;
    b.setIndices(indices.data(), width, beyond);
    return b;
}

}

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int frames = 50;
    auto picture = std::make_shared<platform::CaptionPicture>();
    picture->canvasWidth = 1920;
    picture->canvasHeight = 1080;
    picture->start = std::chrono::seconds(1);
    picture->bitmaps = { line(260, 880, 1400, 72), line(480, 960, 960, 72) };
    sublumen::PictureCaption track;
    track.addPictures({ picture });

    sublumen::PictureCaptionView view;
    view.screenWidth = 1920;
    view.screenHeight = 1080;
    std::printf("one picture caption (1400x72 + 960x72) on a 1920x1080 screen:\n");
    for (platform::PixelFormat format : { platform::PixelFormat::XRGB8888, platform::PixelFormat::RGB565 }) {
        platform::Surface screen(1920, 1080, format);
        bench::fillPicture(screen);
        double blend = bench::microsecondsPerCall(frames, rounds, [&] { track.draw(2000, screen, view); }) / 1000.0;
        std::printf("  blend per frame, %d bits: %.3f ms\n", screen.bitsPerPixel(), blend);
    }
    double scale = bench::microsecondsPerCall(5, rounds, [&] {
        for (const platform::CaptionBitmap& b : picture->bitmaps)
            sublumen::scaleCaptionBitmap(b, b.width * 2 / 3, b.height * 2 / 3);
    }) / 1000.0;
    std::printf("  scaling for a 1280x720 window, once per caption: %.3f ms\n", scale);
    return 0;
}
