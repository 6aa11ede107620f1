// Drawing benchmark: the per-frame drawing work of frame composition at 1920x1080x32.
//   - a two-line Korean caption with every effect (two measurements and eighteen outputs), at the
//     default caption size and at a size fit for a 1080-line screen;
//   - a halftone StretchBlt of a 1280x720 picture to 1920x1080.
// Prints microseconds of CPU time per call (the median of several rounds). Single thread.
//
//   drawing_bench [rounds]
#include "app/settings.h"
#include "app/system.h"
#include "caption/caption.h"
#include "platform/gdi/gdi.h"

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// CPU time of this thread: the machine may be shared, and the figure wanted is the cost on one core.
double threadMicroseconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

template<typename F> double microsecondsPerCall(int calls, int rounds, F&& f)
{
    f();  // warm caches (glyphs, layout, buffers)
    std::vector<double> perCall;
    for (int r = 0; r < rounds; ++r) {
        double start = threadMicroseconds();
        for (int i = 0; i < calls; ++i)
            f();
        perCall.push_back((threadMicroseconds() - start) / calls);
    }
    std::sort(perCall.begin(), perCall.end());
    return perCall[perCall.size() / 2];
}

void fillPicture(platform::Surface& s)
{
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            platform::writePixel(s, x, y, platform::packPixel(s.format, (x * 7) & 255, (y * 3) & 255, (x ^ y) & 255));
}

}

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
        HFONT font = CreateFontA(size, 0, 0, 0, FW_EXTRABOLD, 0, 0, 0, DEFAULT_CHARSET, OUT_TT_PRECIS,
            CLIP_DEFAULT_PRECIS, DRAFT_QUALITY, DEFAULT_PITCH, sublumen::fontFaceTable[0]);
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
    return 0;
}
