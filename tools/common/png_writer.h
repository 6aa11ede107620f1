// Writing a surface as a PNG file, for tools that make pictures to look at.
#pragma once

#include "platform/surface.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace tools {


inline uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

inline void putBig32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(static_cast<uint8_t>(v >> s));
}

inline void chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& body)
{
    putBig32(png, static_cast<uint32_t>(body.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    png.insert(png.end(), typed.begin(), typed.end());
    putBig32(png, crc32(typed.data(), typed.size()));
}

// A PNG of 8-bit RGB with the image data in stored (uncompressed) deflate blocks: larger than a real
// encoder's output, but exact and free of dependencies.
inline bool writePng(const char* path, const platform::Surface& s)
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
