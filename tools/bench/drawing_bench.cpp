// Drawing benchmark: the per-frame drawing work of frame composition at 1920x1080x32.
//   - a two-line Korean caption with every effect (two measurements and eighteen outputs), at the
//     default caption size and at a size fit for a 1080-line screen;
//   - two such captions at once, the second placed above the first;
//   - a halftone StretchBlt of a 1280x720 picture to 1920x1080.
// Prints microseconds of CPU time per call (the median of several rounds). Single thread.
//
//   drawing_bench [rounds]
#include "app/settings.h"
#include "app/system.h"
#include "caption/caption.h"
#include "platform/gdi/gdi.h"
#include "tools/common/bench_timing.h"

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <vector>

using bench::fillPicture;
using bench::microsecondsPerCall;

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    platform::Surface back(1920, 1080, platform::PixelFormat::XRGB8888);
    fillPicture(back);

    sublumen::Caption caption(nullptr);
    caption.addEntry(0, "오늘 밤 우리는 모두 함께 이 영화를 끝까지 보기로 했어요\n자막은 두 줄로, 그림자와 외곽선까지 모두");
    caption.addEntry(sublumen::endMarker, "");
    const int everyEffect = sublumen::styleShadow | sublumen::styleOutline | sublumen::styleThickOutline
        | sublumen::styleAutoPlace | sublumen::styleSemiAutoPlace;

    for (int size : { 24, 48 }) {
        HFONT font = platform::createFont(size, FW_EXTRABOLD, sublumen::fontFaceTable[0]);
        if (!font) {
            std::printf("caption: no font for %s, skipped\n", sublumen::fontFaceTable[0]);
            break;
        }
        HDC dc = platform::createSurfaceDC(back);
        HFONT previous = SelectObject(dc, font);
        double us = microsecondsPerCall(200, rounds, [&] { caption.draw(0, dc, 0, 1080 - 100, 1920, 100, everyEffect); });
        SelectObject(dc, previous);
        platform::destroySurfaceDC(dc);
        DeleteObject(font);
        std::printf("caption, two lines, every effect, %d px %s on 1920x1080x32: %.1f us per draw\n", size,
            sublumen::fontFaceTable[0], us);
    }

    // Two captions at once, as frame composition draws them: the first placed and drawn, the second placed
    // above it and drawn.
    sublumen::Caption second(nullptr);
    second.addEntry(0, "Tonight we all agreed to watch this film to the very end\nin two lines, with shadow and outlines");
    second.addEntry(sublumen::endMarker, "");
    for (int size : { 24, 48 }) {
        HFONT font = platform::createFont(size, FW_EXTRABOLD, sublumen::fontFaceTable[0]);
        if (!font)
            break;
        HDC dc = platform::createSurfaceDC(back);
        HFONT previous = SelectObject(dc, font);
        const int fixed = everyEffect & ~(sublumen::styleAutoPlace | sublumen::styleSemiAutoPlace);
        double us = microsecondsPerCall(200, rounds, [&] {
            RECT block;
            int32_t limit = 1080 - 100;
            if (caption.shownBlock(0, dc, 0, 1080 - 100, 1920, 100, everyEffect, INT32_MAX, block))
                limit = std::min<int32_t>(limit, block.top - 2);
            caption.draw(0, dc, 0, 1080 - 100, 1920, 100, everyEffect);
            const int32_t bottom = limit - 6;
            second.shownBlock(0, dc, 0, 0, 1920, bottom, fixed | sublumen::styleAutoPlace, INT32_MAX, block);
            second.draw(0, dc, 0, 0, 1920, bottom, fixed | sublumen::styleAutoPlace);
        });
        SelectObject(dc, previous);
        platform::destroySurfaceDC(dc);
        DeleteObject(font);
        std::printf("two captions, two lines each, every effect, %d px %s on 1920x1080x32: %.1f us per frame\n", size,
            sublumen::fontFaceTable[0], us);
    }

    platform::Surface picture(1280, 720, platform::PixelFormat::XRGB8888);
    fillPicture(picture);
    HDC target = platform::createSurfaceDC(back);
    HDC source = platform::createSurfaceDC(picture);
    SetStretchBltMode(target, HALFTONE);
    double halftone = microsecondsPerCall(10, rounds,
        [&] { StretchBlt(target, 0, 0, 1920, 1080, source, 0, 720, 1280, -720, SRCCOPY); });
    std::printf("StretchBlt HALFTONE 1280x720 -> 1920x1080x32, mirrored: %.1f us per call\n", halftone);
    SetStretchBltMode(target, COLORONCOLOR);
    double nearest = microsecondsPerCall(10, rounds,
        [&] { StretchBlt(target, 0, 0, 1920, 1080, source, 0, 0, 1280, 720, SRCCOPY); });
    std::printf("StretchBlt COLORONCOLOR 1280x720 -> 1920x1080x32: %.1f us per call\n", nearest);
    double blt = microsecondsPerCall(10, rounds, [&] {
        platform::bltScaled(back, RECT { 0, 0, 1920, 1080 }, picture, RECT { 0, 0, 1280, 720 }, platform::Mirror::No);
    });
    std::printf("bltScaled 1280x720 -> 1920x1080x32: %.1f us per call\n", blt);
    platform::destroySurfaceDC(source);
    platform::destroySurfaceDC(target);

    // The default display depth is 16 bits: the same stretch between RGB565 surfaces.
    platform::Surface back16(1920, 1080, platform::PixelFormat::RGB565);
    platform::Surface picture16(1280, 720, platform::PixelFormat::RGB565);
    fillPicture(picture16);
    HDC target16 = platform::createSurfaceDC(back16);
    HDC source16 = platform::createSurfaceDC(picture16);
    SetStretchBltMode(target16, HALFTONE);
    double halftone16 = microsecondsPerCall(10, rounds,
        [&] { StretchBlt(target16, 0, 0, 1920, 1080, source16, 0, 720, 1280, -720, SRCCOPY); });
    std::printf("StretchBlt HALFTONE 1280x720 -> 1920x1080x16, mirrored: %.1f us per call\n", halftone16);
    platform::destroySurfaceDC(source16);
    platform::destroySurfaceDC(target16);
    return 0;
}
