// Scaling benchmark: the full-screen scaling step alone, a mode's picture scaled into a screen-sized
// buffer the way presentation does on the CPU (bilinear up, area average down). Prints milliseconds of
// CPU time per frame (the median of several rounds). Single thread.
//
//   scale_bench [rounds]
#include "platform/picture_scaling.h"
#include "tools/common/bench_timing.h"

#include <cstdio>
#include <cstdlib>

using bench::fillPicture;
using bench::microsecondsPerCall;
using platform::PixelFormat;

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    struct Case {
        int srcW, srcH, dstW, dstH;
        PixelFormat source, screen;
    };
    const Case cases[] = {
        { 640, 480, 1440, 1080, PixelFormat::XRGB8888, PixelFormat::XRGB8888 },
        { 1280, 960, 1440, 1080, PixelFormat::XRGB8888, PixelFormat::XRGB8888 },
        { 1280, 720, 1920, 1080, PixelFormat::XRGB8888, PixelFormat::XRGB8888 },
        { 640, 480, 1440, 1080, PixelFormat::RGB565, PixelFormat::XRGB8888 },
        { 1280, 960, 1440, 1080, PixelFormat::RGB565, PixelFormat::XRGB8888 },
        { 640, 480, 1440, 1080, PixelFormat::RGB565, PixelFormat::RGB565 },
        { 2048, 1536, 1440, 1080, PixelFormat::XRGB8888, PixelFormat::XRGB8888 },
    };
    auto name = [](PixelFormat f) { return f == PixelFormat::RGB565 ? "16" : "32"; };
    for (const Case& c : cases) {
        platform::Surface picture(c.srcW, c.srcH, c.source);
        fillPicture(picture);
        platform::Surface screen(c.dstW, c.dstH, c.screen);
        platform::PixelView target { screen.pixels.data(), screen.pitch, screen.width, screen.height, screen.format };
        platform::PictureScaler scaler;
        const RECT whole { 0, 0, c.srcW, c.srcH };
        double us = microsecondsPerCall(20, rounds, [&] { scaler.scale(picture, whole, target); });
        std::printf("%dx%dx%s -> %dx%dx%s (%s): %.2f ms per frame\n", c.srcW, c.srcH, name(c.source), c.dstW, c.dstH,
            name(c.screen), c.dstW >= c.srcW ? "bilinear" : "area average", us / 1000.0);
    }
}
