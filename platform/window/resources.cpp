// Icon 103 and accelerator table 102, loaded from the sources in resources/.
#include "platform/kernel.h"
#include "platform/window/window_object.h"
#include "resources/resources.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "resources/sublumen_icon.xpm"

struct IconObject {
    SDL_Surface* surface = nullptr;
};

struct AcceleratorTable {
    const ACCEL* entries;
    size_t count;
};

namespace platform {

// Reads an XPM image with one character per pixel and colours given as "c #RRGGBB" or "c None".
// Null on any malformed line.
SDL_Surface* surfaceFromXpm(const char* const* xpm, size_t lineCount)
{
    int width = 0, height = 0, colours = 0, charsPerPixel = 0;
    if (lineCount < 1 || std::sscanf(xpm[0], "%d %d %d %d", &width, &height, &colours, &charsPerPixel) != 4)
        return nullptr;
    if (width <= 0 || height <= 0 || width > 256 || height > 256 || colours <= 0 || colours > 256
        || charsPerPixel != 1 || lineCount < static_cast<size_t>(1 + colours + height))
        return nullptr;
    std::array<uint32_t, 256> palette {};
    std::array<bool, 256> known {};
    for (int i = 0; i < colours; ++i) {
        const char* line = xpm[1 + i];
        if (std::strlen(line) < 5)
            return nullptr;
        auto key = static_cast<unsigned char>(line[0]);
        const char* value = std::strstr(line + 1, "c ");
        if (!value)
            return nullptr;
        value += 2;
        if (std::strncmp(value, "None", 4) == 0) {
            palette[key] = 0;
        } else if (value[0] == '#' && std::strlen(value) >= 7) {
            unsigned long rgb = std::strtoul(value + 1, nullptr, 16);
            palette[key] = 0xFF000000u | static_cast<uint32_t>(rgb & 0xFFFFFF);
        } else {
            return nullptr;
        }
        known[key] = true;
    }
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!surface)
        return nullptr;
    for (int y = 0; y < height; ++y) {
        const char* row = xpm[1 + colours + y];
        if (std::strlen(row) < static_cast<size_t>(width)) {
            SDL_FreeSurface(surface);
            return nullptr;
        }
        auto* out = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(surface->pixels) + y * surface->pitch);
        for (int x = 0; x < width; ++x) {
            auto key = static_cast<unsigned char>(row[x]);
            if (!known[key]) {
                SDL_FreeSurface(surface);
                return nullptr;
            }
            out[x] = palette[key];
        }
    }
    return surface;
}

}

HICON LoadIconA(HINSTANCE, const char* name)
{
    if (reinterpret_cast<uintptr_t>(name) != IDI_SUBLUMEN)
        return nullptr;
    static IconObject icon;
    if (!icon.surface) {
        icon.surface = platform::surfaceFromXpm(sublumenIcon, std::size(sublumenIcon));
        if (!icon.surface) {
            platform::platformLog("LoadIconA: the icon resource is malformed.\n");
            return nullptr;
        }
    }
    return &icon;
}

namespace platform {

SDL_Surface* iconSurface(HICON icon) { return icon ? icon->surface : nullptr; }

}

HACCEL LoadAcceleratorsA(HINSTANCE, const char* name)
{
    if (reinterpret_cast<uintptr_t>(name) != IDR_ACCELERATORS)
        return nullptr;
    static AcceleratorTable table { acceleratorTable102, std::size(acceleratorTable102) };
    return &table;
}

namespace platform {

bool findAccelerator(HACCEL table, int key, bool alt, bool control, bool shift, WORD& command)
{
    if (!table)
        return false;
    for (size_t i = 0; i < table->count; ++i) {
        const ACCEL& entry = table->entries[i];
        if (!(entry.fVirt & FVIRTKEY) || entry.key != key)
            continue;
        if (alt != ((entry.fVirt & FALT) != 0) || control != ((entry.fVirt & FCONTROL) != 0)
            || shift != ((entry.fVirt & FSHIFT) != 0))
            continue;
        command = entry.cmd;
        return true;
    }
    return false;
}

}
