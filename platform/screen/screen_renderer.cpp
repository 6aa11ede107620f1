// The renderer a screen scales pictures with on graphics hardware: made on first use, probed once for
// whether it runs on real hardware, and given up when SDL loses its targets.
#include "platform/screen/screen.h"

#include "platform/kernel.h"
#include "platform/screen/sdl_pixels.h"

#include <SDL.h>

#include <cstring>
#include <string>

namespace platform {

void Screen::releaseRenderer()
{
    if (texture_)
        SDL_DestroyTexture(texture_);
    if (renderer_ && !borrowedRenderer_)
        SDL_DestroyRenderer(renderer_);
    texture_ = nullptr;
    renderer_ = nullptr;
    borrowedRenderer_ = false;
}

bool Screen::presentWithTexture(ConstPixelView source, const RECT& src, const Area& dst)
{
    if (!renderer_) {
        // Where SDL shows the window's framebuffer through a renderer of its own (Wayland), that renderer
        // stays with the window once made and is the only one it can have: it shows the textures too.
        renderer_ = SDL_GetRenderer(window_);
        borrowedRenderer_ = renderer_ != nullptr;
        if (!renderer_)
            renderer_ = SDL_CreateRenderer(window_, -1, 0);
        if (!renderer_) {
            platformLog("Presentation: no renderer: %s\n", SDL_GetError());
            return false;
        }
        SDL_RendererInfo info {};
        if (SDL_GetRendererInfo(renderer_, &info) == 0)
            platformLog("Presentation: SDL renderer %s.\n", info.name);
    }
    const uint32_t format = sdlFormatOf(source.format);
    if (!texture_ || textureFormat_ != format || textureWidth_ != source.width || textureHeight_ != source.height) {
        if (texture_)
            SDL_DestroyTexture(texture_);
        texture_ = SDL_CreateTexture(renderer_, format, SDL_TEXTUREACCESS_STREAMING, source.width, source.height);
        if (!texture_) {
            platformLog("Presentation: no texture: %s\n", SDL_GetError());
            return false;
        }
        SDL_SetTextureScaleMode(texture_, SDL_ScaleModeLinear);
        textureFormat_ = format;
        textureWidth_ = source.width;
        textureHeight_ = source.height;
    }
    SDL_Rect area { src.left, src.top, src.right - src.left, src.bottom - src.top };
    const uint8_t* first = source.row(area.y) + area.x * (source.bitsPerPixel() / 8);
    if (SDL_UpdateTexture(texture_, &area, first, source.pitch) != 0)
        return false;
    const SDL_Rect to = sdlRect(dst);
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, &area, &to);
    SDL_RenderPresent(renderer_);
    return true;
}

// Whether SDL's renderer runs on graphics hardware rather than a software rasteriser (SDL's own, or
// an OpenGL one such as llvmpipe). Asked once, on a hidden window of its own, so that the window being
// shown keeps its framebuffer.
bool Screen::hardwareRenderer()
{
    if (hardware_ >= 0)
        return hardware_ == 1;
    hardware_ = 0;
    // A video driver that shows nothing (offscreen, dummy) has no graphics hardware behind it worth
    // loading a whole OpenGL stack for.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || (std::strcmp(driver, "x11") != 0 && std::strcmp(driver, "wayland") != 0
                       && std::strcmp(driver, "kmsdrm") != 0)) {
        platformLog("Presentation: video driver %s; full-screen scaling on the CPU.\n", driver ? driver : "none");
        return false;
    }
    SDL_Window* probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
    if (!probe) {
        platformLog("Presentation: no OpenGL window (%s); scaling on the CPU.\n", SDL_GetError());
        return false;
    }
    std::string renderer = "none";
    if (SDL_Renderer* r = SDL_CreateRenderer(probe, -1, SDL_RENDERER_ACCELERATED)) {
        SDL_RendererInfo info {};
        if (SDL_GetRendererInfo(r, &info) == 0 && (info.flags & SDL_RENDERER_ACCELERATED)
            && std::strcmp(info.name, "software") != 0) {
            renderer = info.name;
            using GetString = const unsigned char* (*)(unsigned int);
            constexpr unsigned int glRenderer = 0x1F01;
            auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
            const char* device = std::strncmp(info.name, "opengl", 6) == 0 && getString
                ? reinterpret_cast<const char*>(getString(glRenderer))
                : nullptr;
            if (device)
                renderer += std::string(" on ") + device;
            const bool rasteriser = device
                && (std::strstr(device, "llvmpipe") || std::strstr(device, "softpipe")
                    || std::strstr(device, "swrast") || std::strstr(device, "Software"));
            hardware_ = rasteriser ? 0 : 1;
        }
        SDL_DestroyRenderer(r);
    }
    SDL_DestroyWindow(probe);
    platformLog("Presentation: renderer %s; full-screen scaling on the %s.\n", renderer.c_str(),
        hardware_ == 1 ? "GPU" : "CPU");
    return hardware_ == 1;
}

void Screen::renderReset(bool deviceLost)
{
    // The textures are gone with the targets; the next present makes them again.
    if (deviceLost) {
        endFrame();
        releaseRenderer();
    } else if (texture_) {
        SDL_DestroyTexture(texture_);
        texture_ = nullptr;
    }
    ++resets_;
}

}
