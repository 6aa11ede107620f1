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

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void putBig32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(static_cast<uint8_t>(v >> s));
}

void chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& body)
{
    putBig32(png, static_cast<uint32_t>(body.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    png.insert(png.end(), typed.begin(), typed.end());
    putBig32(png, crc32(typed.data(), typed.size()));
}

// A PNG of 8-bit RGB with the image data in stored (uncompressed) deflate blocks: larger than a real
// encoder's output, but exact and free of dependencies.
bool writePng(const char* path, const platform::Surface& s)
{
    std::vector<uint8_t> raw;
    for (int y = 0; y < s.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < s.width; ++x) {
            int r, g, b;
            platform::readRgb(s, x, y, r, g, b);
            raw.push_back(static_cast<uint8_t>(r));
            raw.push_back(static_cast<uint8_t>(g));
            raw.push_back(static_cast<uint8_t>(b));
        }
    }
    std::vector<uint8_t> z { 0x78, 0x01 };
    for (size_t at = 0; at < raw.size() || at == 0;) {
        size_t n = std::min<size_t>(65535, raw.size() - at);
        bool last = at + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<uint8_t>(n));
        z.push_back(static_cast<uint8_t>(n >> 8));
        z.push_back(static_cast<uint8_t>(~n));
        z.push_back(static_cast<uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<ptrdiff_t>(at), raw.begin() + static_cast<ptrdiff_t>(at + n));
        at += n;
        if (last)
            break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    putBig32(z, (b << 16) | a);

    std::vector<uint8_t> png { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    std::vector<uint8_t> header;
    putBig32(header, static_cast<uint32_t>(s.width));
    putBig32(header, static_cast<uint32_t>(s.height));
    header.insert(header.end(), { 8, 2, 0, 0, 0 });
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", {});
    FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    return std::fclose(f) == 0 && ok;
}

}

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

    HFONT font = CreateFontA(size, 0, 0, 0, FW_EXTRABOLD, 0, 0, 0, DEFAULT_CHARSET, OUT_TT_PRECIS,
        CLIP_DEFAULT_PRECIS, DRAFT_QUALITY, DEFAULT_PITCH, sublumen::fontFaceTable[face]);
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
