// Draws a two-line Korean caption with the caption drawing of the player onto a 640x480 surface with a
// colourful background and writes it as a PNG, so that faces, placement and effects can be looked at.
//
//   captionshot OUT.png [style [face [size [text]]]]
//
// style is the captionstyle bit set (default 515: shadow, thin and thick outline), face an index into
// the caption faces (0 굴림체, 1 궁서체, 2 돋움체, 3 바탕체), size the caption font height.
#include "app/settings.h"
#include "app/system.h"
#include "caption/caption.h"
#include "platform/gdi/gdi.h"
#include "tools/common/png_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using tools::writePng;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: captionshot OUT.png [style [face [size [text]]]]\n");
        return 2;
    }
    const int style = argc > 2 ? std::atoi(argv[2]) : sublumen::styleShadow | sublumen::styleOutline
            | sublumen::styleThickOutline;
    const int face = argc > 3 ? std::atoi(argv[3]) & 3 : 0;
    const int size = argc > 4 ? std::atoi(argv[4]) : 24;
    const char* text = argc > 5 ? argv[5] : "자막이 제대로 보이는지 확인합니다 & 영어 English\n두 번째 줄은 가운데에";

    platform::Surface surface(640, 480, platform::PixelFormat::XRGB8888);
    // A bright, busy background: captions must read over any picture.
    for (int y = 0; y < surface.height; ++y)
        for (int x = 0; x < surface.width; ++x)
            platform::writePixel(surface, x, y,
                platform::packPixel(surface.format, 128 + x / 5, 200 - y / 4, ((x / 40 + y / 40) & 1) ? 230 : 90));

    HFONT font = platform::createFont(size, FW_EXTRABOLD, sublumen::fontFaceTable[face]);
    if (!font) {
        std::fprintf(stderr, "captionshot: no font for %s\n", sublumen::fontFaceTable[face]);
        return 1;
    }
    sublumen::Caption caption(nullptr);
    caption.addEntry(0, text);
    caption.addEntry(sublumen::endMarker, "");

    HDC dc = platform::createSurfaceDC(surface);
    HFONT previous = SelectObject(dc, font);
    caption.draw(0, dc, 0, 480 - 100, 640, 100, style);
    SelectObject(dc, previous);
    SetTextColor(dc, RGB(0, 255, 0));
    SetBkMode(dc, TRANSPARENT);
    const char* label = "[01:05/120:00] 기본 글꼴";
    TextOutA(dc, 0, 4, label, static_cast<int>(std::strlen(label)));
    platform::destroySurfaceDC(dc);
    DeleteObject(font);

    if (!writePng(argv[1], surface)) {
        std::fprintf(stderr, "captionshot: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: style %d, face %s, size %d\n", argv[1], style, sublumen::fontFaceTable[face], size);
    return 0;
}
